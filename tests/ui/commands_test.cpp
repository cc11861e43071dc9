#include "ui/commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane::ui {
namespace {

// The texts of a filter list, up to the empty text that ends it.
std::vector<std::u16string> texts_of(const char16_t* units, std::size_t size) {
    std::vector<std::u16string> out;
    std::size_t i = 0;
    while (i < size && units[i] != u'\0') {
        std::u16string text;
        while (i < size && units[i] != u'\0') text += units[i++];
        out.push_back(text);
        ++i;
    }
    EXPECT_LT(i, size) << "list not ended by an empty text";
    return out;
}

TEST(Filters, FixedLists) {
    const FilterList open = open_filter();
    EXPECT_EQ(texts_of(open.units, open.size),
              (std::vector<std::u16string>{u"All Files", u"*.*", u"QVK Encrypted Files (.qvk)", u"*.qvk"}));
    const FilterList key = open_key_filter();
    EXPECT_EQ(texts_of(key.units, key.size), (std::vector<std::u16string>{u"All Files", u"*.*"}));
    const FilterList save = encrypt_save_filter();
    EXPECT_EQ(texts_of(save.units, save.size),
              (std::vector<std::u16string>{u"QVK Encrypted File (.qvk)", u"*.qvk"}));
    EXPECT_EQ(std::u16string(ENCRYPT_DEFAULT_EXTENSION), u"qvk");
}

TEST(Filters, DecryptFilterFromTheOutputName) {
    struct Case {
        const char16_t* type;
        const char16_t* name;
        std::u16string pattern;
    };
    const Case cases[] = {
        {u"PDF Document", u"report.pdf", u"*.pdf"},
        {u"File", u"README", u"*"},
        {u"GZ File", u"C:\\dir.v2\\archive.tar.gz", u"*.gz"},
        {u"File", u"C:\\dir.v2\\noext", u"*"},      // a dot in a folder is no extension
        {u"File", u"/tmp/x.d/noext", u"*"},
        {u"File", u"name.", u"*."},
    };
    for (const auto& c : cases) {
        char16_t out[512];
        ASSERT_TRUE(decrypt_save_filter(c.type, c.name, out, 512));
        EXPECT_EQ(texts_of(out, 512), (std::vector<std::u16string>{c.type, c.pattern}));
    }
}

TEST(Filters, DecryptFilterThatDoesNotFitIsRefused) {
    char16_t out[16];
    EXPECT_FALSE(decrypt_save_filter(u"A long type text", u"x.pdf", out, 16));
    EXPECT_EQ(out[0], u'\0');
    // Exactly enough: "T" NUL "*.ab" NUL NUL.
    char16_t exact[8];
    EXPECT_TRUE(decrypt_save_filter(u"T", u"x.ab", exact, 8));
    EXPECT_EQ(texts_of(exact, 8), (std::vector<std::u16string>{u"T", u"*.ab"}));
}

TEST(SaveDialog, FolderNamesStartEmpty) {
    EXPECT_TRUE(save_path_names_folder(u"C:\\out\\"));
    EXPECT_TRUE(save_path_names_folder(u"/tmp/"));
    EXPECT_FALSE(save_path_names_folder(u"C:\\out\\a.txt"));
    EXPECT_FALSE(save_path_names_folder(u""));
}

}  // namespace
}  // namespace corvane::ui
