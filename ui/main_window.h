// The decisions of the main window that do not need a window: the command
// line, which keys act, what the buttons show per mode, and the geometry rules
// shared by every dialog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "engine/container/status.h"
#include "resources/resource.h"  // the control ids, shared with the resource compiler

namespace corvane::ui {

inline constexpr std::uint32_t BASE_DPI = 96;

// Copies the start-up path out of the command line (the arguments without the
// program name) into out, which holds at least 260 units: one leading quote
// is skipped, then units are taken up to the next quote, the end, or 259.
void command_line_path(const char16_t* command_line, char16_t* out);

// The modifier keys held with a key.
struct KeyModifiers {
    bool control;
    bool shift;
};

// True when a key pressed in one of the two read-only fields goes to the main
// window instead. The field keeps what any read-only edit control needs:
// Tab, Space, Left, Right, Home and End (with any modifiers), Up and Down with
// Shift (selecting), and Ctrl+C, Ctrl+Insert and Ctrl+A (copy, select all).
// Every other key is redirected, the command letters with or without Ctrl.
[[nodiscard]] bool redirects_key(std::uint32_t virtual_key, KeyModifiers modifiers);

// The main window's answer to a key: handled says whether the key is one of
// its commands at all; command is the id to post, 0 when the mode rules it out.
struct KeyCommand {
    bool handled;
    int command;
};
[[nodiscard]] KeyCommand key_command(std::uint32_t virtual_key, std::int32_t mode);

// What buttons 1015 and 1016 show after a file has been inspected.
struct CommandButtons {
    const char16_t* crypt_text;
    bool crypt_enabled;
    bool test_enabled;
};
[[nodiscard]] CommandButtons buttons_for_container();
[[nodiscard]] CommandButtons buttons_for_plain_file();
[[nodiscard]] CommandButtons buttons_for_nothing();

// Whether a main-window command may act now. Open, Encrypt/Decrypt, the
// key-file commands and Test need Idle (Test also a container shown); About
// always acts.
[[nodiscard]] bool command_allowed(int command, RunState run_state, std::int32_t mode);

// A dropped file is opened like a command-line path, but only from Idle and
// while no dialog of ours has the main window disabled: a drop in the middle
// of a command would change the file the command works on.
[[nodiscard]] bool accepts_drop(RunState run_state, bool main_window_enabled);

// Inset of the read-only fields' text: 3 pixels at 96 DPI, scaled.
[[nodiscard]] int edit_margin(std::uint32_t dpi);
// The DPI used at start: a reported value only when above 96.
[[nodiscard]] std::uint32_t startup_dpi(std::uint32_t reported);

struct Rect {
    std::int32_t left, top, right, bottom;
};
struct Point {
    std::int32_t x, y;
};
// Top-left corner that centres a window of outer rectangle window over reference.
[[nodiscard]] Point centred_position(const Rect& window, const Rect& reference);

// Top-left corner that keeps a window of outer rectangle window inside area,
// moving it as little as possible; a window larger than area keeps its top-left
// corner at area's.
[[nodiscard]] Point kept_inside(const Rect& window, const Rect& area);

// The message dialog around a text that may not fit its one line. Pixels;
// the rectangles are in the dialog's client area.
struct PixelSize {
    std::int32_t width, height;
};
struct MessageGeometry {
    Rect text;        // the text control as the template places it
    Rect button;      // the OK button
    PixelSize outer;  // the dialog's outer size
    PixelSize limit;  // the work area the dialog must stay inside
};
struct MessagePlan {
    bool changed;  // false: the template's places stay as they are
    Rect text;
    Rect button;
    PixelSize outer;
};
// The room the text takes when it wraps at a width (wider than that only when
// one word is).
using MeasureText = std::function<PixelSize(std::int32_t width)>;

// Where the text and the button go so that the whole text shows: the text
// control grows downward (and the dialog and the button's place with it);
// it grows wider, keeping the button centred under it, only when a word is
// wider than the control or the wrapped text would be taller than the work
// area allows. Never beyond the work area.
[[nodiscard]] MessagePlan plan_message(const MessageGeometry& geometry, const MeasureText& measure);

}  // namespace corvane::ui
