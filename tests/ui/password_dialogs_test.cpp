#include "ui/password_dialogs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/app_state.h"
#include "ui/format.h"

namespace corvane::ui {
namespace {

TEST(Lists, EncryptionEntriesInOrderWithTheirTexts) {
    const std::vector<std::u16string> expected = {
        u"QVK Stream",          u"QVK 1X Jumble",    u"QVK 2X Jumble",    u"QVK 3X Jumble",
        u"QVK 7X Jumble",       u"QVK 25X Jumble",   u"QVK 85X Jumble",   u"QVK 300X Jumble",
        u"QVK 1024X Jumble",    u"QVK 3600X Jumble", u"QVK 12800X Jumble", u"QVK 45000X Jumble"};
    std::vector<std::u16string> got;
    for (std::uint32_t rounds : jumble_choices()) {
        char16_t text[FORMAT_UNITS];
        got.emplace_back(format_scheme(text, rounds, JUMBLE_LIST_BLOCK_SIZE, 0));
    }
    EXPECT_EQ(got, expected);
}

TEST(Lists, BlockSizeEntriesInOrderWithTheirTexts) {
    const std::vector<std::pair<std::uint32_t, std::u16string>> expected = {
        {32768, u"16 to 48 KB"},     {65536, u"32 to 96 KB"},   {131072, u"64 to 192 KB"},
        {262144, u"128 to 384 KB"},  {524288, u"256 to 768 KB"}, {1048576, u"512 to 1536 KB"},
        {2097152, u"1 to 3 MB"},     {4194304, u"2 to 6 MB"},   {8388608, u"4 to 12 MB"}};
    std::vector<std::pair<std::uint32_t, std::u16string>> got;
    for (std::uint32_t size : block_size_choices()) {
        char16_t text[FORMAT_UNITS];
        got.emplace_back(size, format_block_range(text, size));
    }
    EXPECT_EQ(got, expected);
}

TEST(Lists, DefaultsAreAmongTheChoices) {
    const AppState defaults;
    bool rounds = false, block = false;
    for (std::uint32_t v : jumble_choices()) rounds |= v == defaults.jumble_rounds;
    for (std::uint32_t v : block_size_choices()) block |= v == defaults.block_size;
    EXPECT_TRUE(rounds);
    EXPECT_TRUE(block);
}

TEST(Confirmation, ComparesUnitByUnit) {
    struct Case {
        const char16_t* password;
        const char16_t* confirm;
        bool match;
    };
    const Case cases[] = {
        {u"", u"", true},
        {u"secret", u"secret", true},
        {u"secret", u"secreT", false},
        {u"secret", u"secret ", false},
        {u"secret ", u"secret", false},
        {u"", u"x", false},
        {u"\u00e9t\u00e9", u"\u00e9t\u00e9", true},
    };
    for (const auto& c : cases) EXPECT_EQ(passwords_match(c.password, c.confirm), c.match);
}

TEST(ShowToggle, HidesBehindTheBlackCircle) {
    EXPECT_EQ(password_char(false), u'\u25CF');
    EXPECT_EQ(password_char(true), u'\0');
}

TEST(Wipe, OverwriteBufferIsBounded) {
    EXPECT_EQ(wipe_buffer_units(0), 0u);
    EXPECT_EQ(wipe_buffer_units(1), 1u);
    EXPECT_EQ(wipe_buffer_units(255), 255u);
    EXPECT_EQ(wipe_buffer_units(4096), 4096u);
    EXPECT_EQ(wipe_buffer_units(100000), 4096u);
}

TEST(Copy, KeepsAtMostTheLimit) {
    std::u16string long_text(300, u'p');
    char16_t out[256];
    copy_limited(out, long_text.c_str(), PASSWORD_UNITS);
    EXPECT_EQ(std::u16string(out), long_text.substr(0, 255));
    copy_limited(out, u"short", PASSWORD_UNITS);
    EXPECT_EQ(std::u16string(out), u"short");
}

}  // namespace
}  // namespace corvane::ui
