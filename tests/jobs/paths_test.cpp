#include "jobs/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

std::u16string at(const char16_t* text) { return std::u16string(text); }

std::string narrow(const char16_t* text) {
    std::string out;
    for (; *text != 0; ++text) out += static_cast<char>(*text);
    return out;
}

struct SplitCase {
    const char16_t* path;
    const char16_t* directory;
    const char16_t* name;
    const char16_t* stem;
    const char16_t* extension;
    bool has_dot;
};

TEST(SplitPath, PartsOfPaths) {
    const SplitCase cases[] = {
        {u"C:\\data\\report.txt", u"C:\\data\\", u"report.txt", u"report", u"txt", true},
        {u"report", u"", u"report", u"report", u"", false},
        {u"C:\\a.b\\c", u"C:\\a.b\\", u"c", u"c", u"", false},
        {u"x/y\\z.tar.gz", u"x/y\\", u"z.tar.gz", u"z.tar", u"gz", true},
        {u"x\\y/z.tar.gz", u"x\\y/", u"z.tar.gz", u"z.tar", u"gz", true},
        {u"name.", u"", u"name.", u"name", u"", true},
        {u".profile", u"", u".profile", u"", u"profile", true},
        {u"dir/", u"dir/", u"", u"", u"", false},
        {u"", u"", u"", u"", u"", false},
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(narrow(c.path));
        PathParts parts;
        split_path(parts, c.path);
        EXPECT_EQ(at(parts.full), at(c.path));
        EXPECT_EQ(at(parts.directory), at(c.directory));
        EXPECT_EQ(at(parts.full + parts.name), at(c.name));
        EXPECT_EQ(at(parts.stem), at(c.stem));
        EXPECT_EQ(at(parts.full + parts.extension), at(c.extension));
        const std::size_t length = at(parts.full).size();
        if (c.has_dot) {
            EXPECT_EQ(parts.full[parts.dot], u'.');
            EXPECT_EQ(parts.extension, parts.dot + 1);
        } else {
            EXPECT_EQ(parts.dot, length);
            EXPECT_EQ(parts.extension, length);
        }
    }
}

TEST(SplitPath, LongPathIsCutTo259Units) {
    std::u16string path = u"d/" + std::u16string(300, u'a') + u".txt";
    PathParts parts;
    split_path(parts, path.c_str());
    EXPECT_EQ(at(parts.full), path.substr(0, 259));
    EXPECT_EQ(parts.full[259], 0);
    EXPECT_EQ(at(parts.directory), u"d/");
    // The cut removed the extension's dot.
    EXPECT_EQ(parts.dot, 259u);
    EXPECT_EQ(at(parts.stem), std::u16string(257, u'a'));
}

TEST(SplitPath, ClearsWhatAnEarlierSplitLeft) {
    PathParts parts;
    split_path(parts, u"some/long/folder/name.extension");
    split_path(parts, u"a.b");
    EXPECT_EQ(at(parts.directory), u"");
    EXPECT_EQ(at(parts.stem), u"a");
    EXPECT_EQ(parts.full[4], 0);
}

TEST(ExtensionOf, TextAfterTheNamesLastDot) {
    const struct {
        const char16_t* path;
        const char16_t* extension;
    } cases[] = {
        {u"C:\\dir.d\\file", u""},  {u"report.txt", u"txt"}, {u"a/b.tar.gz", u"gz"}, {u"name.", u""},
        {u"x.y/z", u""},           {u"x.y\\z", u""},        {u"", u""},            {u"dir\\.hidden", u"hidden"},
    };
    for (const auto& c : cases) {
        const char16_t* ext = extension_of(c.path);
        EXPECT_EQ(at(ext), at(c.extension));
        // The empty result is the path's own end, not some other empty text.
        if (*c.extension == 0) {
            EXPECT_EQ(ext, c.path + at(c.path).size());
        }
    }
}

}  // namespace
}  // namespace corvane
