#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/app_state.h"

namespace corvane::ui {
namespace {

std::u16string path_of(const char16_t* line) {
    char16_t out[300];
    for (auto& unit : out) unit = u'#';
    command_line_path(line, out);
    return out;
}

struct CommandLineCase {
    const char16_t* line;
    std::u16string expected;
};

TEST(CommandLine, TakesThePathAsTheRuleSays) {
    const CommandLineCase cases[] = {
        {u"", u""},
        {u"\"C:\\My Files\\a b.qvk\"", u"C:\\My Files\\a b.qvk"},
        {u"\"C:\\x\\report.pdf\" /extra \"more\"", u"C:\\x\\report.pdf"},
        {u"C:\\My Files\\a b.txt", u"C:\\My Files\\a b.txt"},
        {u"C:\\a.txt\" tail", u"C:\\a.txt"},
        {u"\"", u""},
        {u"\"\"", u""},
        {u"\"C:\\unterminated", u"C:\\unterminated"},
    };
    for (const auto& c : cases) EXPECT_EQ(path_of(c.line), c.expected) << std::string(c.expected.begin(), c.expected.end());
}

TEST(CommandLine, NullLineGivesEmptyPath) { EXPECT_EQ(path_of(nullptr), u""); }

TEST(CommandLine, LongLinesAreCutAt259Units) {
    std::u16string line(300, u'a');
    for (std::size_t i = 0; i < line.size(); ++i) line[i] = static_cast<char16_t>(u'a' + i % 26);
    EXPECT_EQ(path_of(line.c_str()), line.substr(0, 259));
    const std::u16string quoted = u"\"" + line + u"\"";
    EXPECT_EQ(path_of(quoted.c_str()), line.substr(0, 259));
}

TEST(KeyRedirection, OnlyCaretAndFocusKeysStayInTheField) {
    struct Case {
        std::uint32_t key;
        bool redirected;
    };
    const Case cases[] = {
        {0x09, false}, {0x20, false}, {0x25, false}, {0x27, false},  // Tab, Space, Left, Right
        {0x26, true},  {0x28, true},  {0x24, true},  {0x23, true},   // Up, Down, Home, End
        {'D', true},   {'X', true},   {0x0D, true},  {0x2E, true},   // letters, Enter, Delete
    };
    for (const auto& c : cases) EXPECT_EQ(redirects_key(c.key), c.redirected) << c.key;
}

TEST(KeyTable, CommandsByMode) {
    struct Case {
        std::uint32_t key;
        std::int32_t mode;
        KeyCommand expected;
    };
    const Case cases[] = {
        {'A', MODE_NOTHING, {true, IDC_ABOUT}},   {'A', MODE_CONTAINER, {true, IDC_ABOUT}},
        {'A', MODE_ENCRYPTED, {true, IDC_ABOUT}}, {'O', MODE_NOTHING, {true, IDC_OPEN}},
        {'O', MODE_PLAIN, {true, IDC_OPEN}},      {'O', MODE_ENCRYPTED, {true, IDC_OPEN}},
        {'D', MODE_CONTAINER, {true, IDC_CRYPT}}, {'D', MODE_PLAIN, {true, 0}},
        {'D', MODE_NOTHING, {true, 0}},          {'E', MODE_PLAIN, {true, IDC_CRYPT}},
        {'E', MODE_CONTAINER, {true, 0}},        {'E', MODE_ENCRYPTED, {true, 0}},
        {'T', MODE_CONTAINER, {true, IDC_TEST}},  {'T', MODE_PLAIN, {true, 0}},
        {'X', MODE_CONTAINER, {false, 0}},       {0x26, MODE_CONTAINER, {false, 0}},
        {'d', MODE_CONTAINER, {false, 0}},  // virtual keys are upper case; 'd' is VK_NUMPAD4
    };
    for (const auto& c : cases) {
        const KeyCommand got = key_command(c.key, c.mode);
        EXPECT_EQ(got.handled, c.expected.handled) << c.key << " mode " << c.mode;
        EXPECT_EQ(got.command, c.expected.command) << c.key << " mode " << c.mode;
    }
}

TEST(Buttons, EnablingFollowsWhatIsShown) {
    const CommandButtons container = buttons_for_container();
    EXPECT_EQ(std::u16string(container.crypt_text), u"&Decrypt...");
    EXPECT_TRUE(container.crypt_enabled);
    EXPECT_TRUE(container.test_enabled);
    const CommandButtons plain = buttons_for_plain_file();
    EXPECT_EQ(std::u16string(plain.crypt_text), u"&Encrypt...");
    EXPECT_TRUE(plain.crypt_enabled);
    EXPECT_FALSE(plain.test_enabled);
    const CommandButtons nothing = buttons_for_nothing();
    EXPECT_FALSE(nothing.crypt_enabled);
    EXPECT_FALSE(nothing.test_enabled);
}

TEST(Commands, ActOnlyFromIdleExceptAbout) {
    const RunState busy[] = {RunState::closing, RunState::closed, RunState::running, RunState::paused,
                             RunState::cancelling};
    const int commands[] = {IDC_OPEN, IDC_CRYPT, IDC_TEST, IDC_USE_KEYFILE, IDC_CHOOSE_KEYFILE, IDC_FORGET_KEYFILE};
    for (RunState state : busy) {
        EXPECT_TRUE(command_allowed(IDC_ABOUT, state, MODE_CONTAINER));
        for (int command : commands) EXPECT_FALSE(command_allowed(command, state, MODE_CONTAINER)) << command;
    }
    EXPECT_TRUE(command_allowed(IDC_OPEN, RunState::idle, MODE_NOTHING));
    EXPECT_TRUE(command_allowed(IDC_TEST, RunState::idle, MODE_CONTAINER));
    EXPECT_FALSE(command_allowed(IDC_TEST, RunState::idle, MODE_PLAIN));
    EXPECT_FALSE(command_allowed(IDC_TEST, RunState::idle, MODE_NOTHING));
    EXPECT_TRUE(command_allowed(IDC_CRYPT, RunState::idle, MODE_PLAIN));
    EXPECT_FALSE(command_allowed(IDC_CRYPT, RunState::idle, MODE_ENCRYPTED));
    EXPECT_FALSE(command_allowed(IDC_CRYPT, RunState::idle, MODE_NOTHING));
    EXPECT_FALSE(command_allowed(IDC_KEYFILE, RunState::idle, MODE_PLAIN));
}

TEST(Drop, OnlyFromIdleWithTheWindowFree) {
    EXPECT_TRUE(accepts_drop(RunState::idle, true));
    EXPECT_FALSE(accepts_drop(RunState::idle, false));
    EXPECT_FALSE(accepts_drop(RunState::running, true));
    EXPECT_FALSE(accepts_drop(RunState::closing, true));
}

TEST(Margins, ScaleWithDpi) {
    const std::pair<std::uint32_t, int> cases[] = {{96, 3}, {120, 4}, {144, 5}, {192, 6}, {288, 9}, {72, 2}};
    for (const auto& [dpi, margin] : cases) EXPECT_EQ(edit_margin(dpi), margin) << dpi;
    EXPECT_EQ(startup_dpi(0), 96u);
    EXPECT_EQ(startup_dpi(72), 96u);
    EXPECT_EQ(startup_dpi(96), 96u);
    EXPECT_EQ(startup_dpi(144), 144u);
}

TEST(Centre, OverReferenceWithTruncation) {
    struct Case {
        Rect window, reference;
        Point expected;
    };
    const Case cases[] = {
        {{0, 0, 100, 50}, {0, 0, 1000, 800}, {450, 375}},
        {{500, 500, 601, 551}, {100, 100, 300, 300}, {149, 174}},  // odd sizes truncate
        {{0, 0, 400, 300}, {10, 10, 110, 60}, {-140, -115}},        // larger than reference
        {{0, 0, 101, 0}, {-1000, 0, -900, 0}, {-1000, 0}},           // (100 - 101) / 2 is 0
    };
    for (const auto& c : cases) {
        const Point p = centred_position(c.window, c.reference);
        EXPECT_EQ(p.x, c.expected.x);
        EXPECT_EQ(p.y, c.expected.y);
    }
}

TEST(KeepInside, MovesOnlyAsFarAsNeeded) {
    struct Case {
        Rect window;
        Point expected;
    };
    const Rect area = {0, 0, 800, 600};
    const Case cases[] = {
        {{100, 100, 300, 200}, {100, 100}},    // already inside
        {{-36, 20, 459, 240}, {0, 20}},        // off the left edge
        {{700, 550, 900, 650}, {600, 500}},    // off the bottom right
        {{-50, -50, 950, 100}, {0, 0}},        // wider than the area
    };
    for (const auto& c : cases) {
        const Point p = kept_inside(c.window, area);
        EXPECT_EQ(p.x, c.expected.x);
        EXPECT_EQ(p.y, c.expected.y);
    }
}

}  // namespace
}  // namespace corvane::ui
