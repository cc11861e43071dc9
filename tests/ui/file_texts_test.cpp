#include "ui/file_texts.h"

#include <gtest/gtest.h>

#include <string>

#include "jobs/paths.h"

namespace corvane::ui {
namespace {

std::u16string t(const char16_t* text) { return text; }

ContainerHeader header_named(const std::u16string& name) {
    ContainerHeader h;
    for (std::size_t i = 0; i < name.size() && i < FILE_NAME_UNITS; ++i)
        store16_le(&h.bytes[header_offset::file_name + 2 * i], name[i]);
    return h;
}

TEST(SanitiseStoredName, Table) {
    const struct {
        std::u16string in;
        std::u16string out;
    } cases[] = {
        {u"a:b<x>|d?.txt", u"a-b(x)_d"},
        {u"plain name.txt", u"plain name.txt"},
        {u"q\"w*e/r\\t|y", u"q_w_e_r_t_y"},
        {std::u16string(u"tab\there\x01\x1f"), u"tab_here__"},
        {u"del\x7fgone", u"del"},
        {u"?", u""},
        {u"caf\u00e9 \u65e5\u672c.txt", u"caf\u00e9 \u65e5\u672c.txt"},
    };
    for (const auto& c : cases) {
        std::u16string text = c.in;
        text.push_back(0);
        sanitise_stored_name(text.data());
        EXPECT_EQ(t(text.c_str()), c.out);
    }
}

TEST(DefaultDecryptOutput, StoredNameMadeSafeAndExtensionCut) {
    const struct {
        std::u16string stored;
        std::u16string expected;
    } cases[] = {
        {u"report.pdf", u"report.pdf"},
        {u"a:b<x>|d?.txt", u"a-b(x)_d"},
        {u"x." + std::u16string(30, u'e'), u"x." + std::u16string(24, u'e')},
        {u"x." + std::u16string(24, u'e'), u"x." + std::u16string(24, u'e')},
        {u"noext" + std::u16string(40, u'n'), u"noext" + std::u16string(40, u'n')},
        {u"dir\\name.txt", u"dir_name.txt"},
        {std::u16string(300, u'z'), std::u16string(255, u'z')},
        {u"", u""},
    };
    for (const auto& c : cases) {
        char16_t out[PATH_FIELD_UNITS];
        EXPECT_EQ(default_decrypt_output(header_named(c.stored), out), out);
        EXPECT_EQ(t(out), c.expected);
    }
}

TEST(DefaultEncryptOutput, ExtensionBecomesQvk) {
    const struct {
        std::u16string source;
        std::u16string expected;
    } cases[] = {
        {u"C:\\pics\\photo.jpeg", u"C:\\pics\\photo.qvk"},
        {u"/home/u/archive.tar.gz", u"/home/u/archive.tar.qvk"},
        {u"C:\\dir.d\\noext", u"C:\\dir.d\\noext"},
        {u"a.b/c", u"a.b/c"},
        {u"name.", u"name.qvk"},
        {u"x.qvk", u"x.qvk"},
    };
    for (const auto& c : cases) {
        char16_t out[PATH_FIELD_UNITS];
        EXPECT_EQ(default_encrypt_output(c.source.c_str(), out), out);
        EXPECT_EQ(t(out), c.expected);
    }
    // The path is used as split_path keeps it: its first 259 units.
    const std::u16string long_path = u"d/" + std::u16string(300, u'a') + u".txt";
    char16_t out[PATH_FIELD_UNITS];
    default_encrypt_output(long_path.c_str(), out);
    EXPECT_EQ(t(out), long_path.substr(0, 259));
}

bool knows_pdf(const char16_t* dotted, char16_t* out) {
    if (t(dotted) != u".pdf") return false;
    for (const char16_t c : u"PDF Document") *out++ = c;
    return true;
}

bool finds_empty(const char16_t*, char16_t* out) {
    out[0] = 0;
    return true;
}

TEST(DescribeFileType, Table) {
    const struct {
        std::u16string path;
        FileTypeLookup lookup;
        std::u16string expected;
    } cases[] = {
        {u"", nullptr, u"Unknown"},
        {u"C:\\data\\", nullptr, u"Directory"},
        {u"data/", nullptr, u"Directory"},
        {u"C:\\data\\README", nullptr, u"File"},
        {u"C:\\a.b\\c", nullptr, u"File"},
        {u"name.", nullptr, u"File"},
        {u"archive.tar.gz", nullptr, u"GZ File"},
        {u".gz", nullptr, u"GZ File"},
        {u"x.Qvk", nullptr, u"QVK File"},
        {u"r.pdf", &knows_pdf, u"PDF Document"},
        {u"r.txt", &knows_pdf, u"TXT File"},
        {u"r.txt", &finds_empty, u"TXT File"},
        {u"f.\u00e9t\u00e9", nullptr, u"\u00c9T\u00c9 File"},
        {u"f.abcdefghijklmnopqrstuvwxyz0123", nullptr, u"ABCDEFGHIJKLMNOPQRSTUVWX File"},
    };
    for (const auto& c : cases) {
        char16_t out[FILE_TYPE_UNITS];
        EXPECT_EQ(describe_file_type(c.path.c_str(), out, c.lookup), out);
        EXPECT_EQ(t(out), c.expected);
    }
}

TEST(ContainerExtensions, AnyLetterCase) {
    const struct {
        const char16_t* extension;
        bool container;
    } cases[] = {{u"qvk", true}, {u"QVK", true}, {u"Qvk", true}, {u"ptxt", true}, {u"PTXT", true},
                 {u"qv", false}, {u"qvkx", false}, {u"txt", false}, {u"", false}};
    for (const auto& c : cases) EXPECT_EQ(is_container_extension(c.extension), c.container);
    PathParts parts;
    split_path(parts, u"C:\\x\\Notes.QVK");
    EXPECT_TRUE(is_container_extension(parts.full + parts.extension));
}

}  // namespace
}  // namespace corvane::ui
