#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

TEST(KeyRedirection, CaretSelectionAndClipboardKeysStayInTheField) {
    constexpr KeyModifiers none{false, false}, ctrl{true, false}, shift{false, true}, both{true, true};
    struct Case {
        std::uint32_t key;
        KeyModifiers modifiers;
        bool redirected;
    };
    const Case cases[] = {
        // Caret and focus, with or without modifiers.
        {0x09, none, false}, {0x20, none, false}, {0x25, none, false}, {0x27, none, false},  // Tab, Space, Left, Right
        {0x25, shift, false}, {0x27, both, false},                                          // selecting, by word
        {0x24, none, false}, {0x23, none, false}, {0x24, shift, false}, {0x23, both, false},  // Home, End
        // Up and Down select with Shift only; alone they are the window's.
        {0x26, none, true}, {0x28, none, true}, {0x26, shift, false}, {0x28, shift, false},
        // Copy and select all.
        {'C', ctrl, false}, {0x2D, ctrl, false}, {'A', ctrl, false}, {'A', both, false},
        // Without Ctrl these are the window's: A is About; Insert alone, Shift+Insert
        // (paste) and Ctrl+X or Ctrl+V change nothing in a read-only field.
        {'A', none, true}, {'C', none, true}, {0x2D, none, true}, {0x2D, shift, true},
        {'X', ctrl, true}, {'V', ctrl, true},
        // The command letters stay commands, Ctrl or not.
        {'D', none, true}, {'D', ctrl, true}, {'O', ctrl, true}, {'E', shift, true},
        {0x0D, none, true}, {0x2E, none, true},  // Enter, Delete
    };
    for (const auto& c : cases)
        EXPECT_EQ(redirects_key(c.key, c.modifiers), c.redirected)
            << c.key << (c.modifiers.control ? " ctrl" : "") << (c.modifiers.shift ? " shift" : "");
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

namespace corvane::ui {
namespace {

// Words of the given widths, a gap of 4 between them, lines 13 high, wrapped
// greedily as DrawText does; a word wider than the width stands alone.
MeasureText words(std::vector<std::int32_t> widths) {
    return [widths](std::int32_t width) {
        std::int32_t widest = 0, line = 0, lines = widths.empty() ? 0 : 1;
        for (std::int32_t w : widths) {
            const std::int32_t with_word = line == 0 ? w : line + 4 + w;
            if (line != 0 && with_word > width) {
                ++lines;
                line = w;
            } else {
                line = with_word;
            }
            widest = std::max(widest, line);
        }
        return PixelSize{widest, lines * 13};
    };
}

// The message dialog at 96 DPI: text 303 x 20 at (11, 11), OK 75 x 23 at
// (125, 42), outer 330 x 103, on a 1024 x 768 work area.
MessageGeometry geometry(PixelSize limit = {1024, 768}) {
    return {{11, 11, 314, 31}, {125, 42, 200, 65}, {330, 103}, limit};
}

TEST(MessageLayout, GrowsOnlyWhereTheTextNeedsIt) {
    const struct {
        const char* name;
        std::vector<std::int32_t> words;
        PixelSize limit;
        bool changed;
        Rect text;
        Rect button;
        PixelSize outer;
    } cases[] = {
        {"one line that fits", {60, 60, 60}, {1024, 768}, false, {11, 11, 314, 31}, {125, 42, 200, 65}, {330, 103}},
        {"exactly the width", {303}, {1024, 768}, false, {11, 11, 314, 31}, {125, 42, 200, 65}, {330, 103}},
        // Two lines: taller by 6, the button and the dialog follow.
        {"two lines", {100, 100, 100}, {1024, 768}, true, {11, 11, 314, 37}, {125, 48, 200, 71}, {330, 109}},
        // One word wider than the control: wider by 97, the button stays centred.
        {"a word wider than the line", {400}, {1024, 768}, true, {11, 11, 411, 31}, {173, 42, 248, 65}, {427, 103}},
        // Eighty lines at this width are taller than the work area: the lines
        // get wider until the text fits in height.
        {"taller than the work area", std::vector<std::int32_t>(160, 140), {1024, 500}, true,
         {11, 11, 1008, 362}, {472, 373, 547, 396}, {1024, 434}},
        // Nothing fits in so small an area: the dialog takes all of it.
        {"larger than the work area", std::vector<std::int32_t>(400, 140), {500, 200}, true,
         {11, 11, 484, 128}, {210, 139, 285, 162}, {500, 200}},
    };
    for (const auto& c : cases) {
        const MessagePlan plan = plan_message(geometry(c.limit), words(c.words));
        EXPECT_EQ(plan.changed, c.changed) << c.name;
        EXPECT_EQ(std::vector<std::int32_t>({plan.text.left, plan.text.top, plan.text.right, plan.text.bottom}),
                  std::vector<std::int32_t>({c.text.left, c.text.top, c.text.right, c.text.bottom}))
            << c.name;
        EXPECT_EQ(std::vector<std::int32_t>(
                      {plan.button.left, plan.button.top, plan.button.right, plan.button.bottom}),
                  std::vector<std::int32_t>({c.button.left, c.button.top, c.button.right, c.button.bottom}))
            << c.name;
        EXPECT_EQ(plan.outer.width, c.outer.width) << c.name;
        EXPECT_EQ(plan.outer.height, c.outer.height) << c.name;
    }
}

}  // namespace
}  // namespace corvane::ui
