#include "ui/main_window.h"

#include <algorithm>

#include "jobs/paths.h"
#include "ui/app_state.h"

namespace corvane::ui {

namespace {

constexpr std::uint32_t VK_TAB_KEY = 0x09;
constexpr std::uint32_t VK_SPACE_KEY = 0x20;
constexpr std::uint32_t VK_LEFT_KEY = 0x25;
constexpr std::uint32_t VK_RIGHT_KEY = 0x27;
constexpr std::uint32_t VK_END_KEY = 0x23;
constexpr std::uint32_t VK_HOME_KEY = 0x24;
constexpr std::uint32_t VK_UP_KEY = 0x26;
constexpr std::uint32_t VK_DOWN_KEY = 0x28;
constexpr std::uint32_t VK_INSERT_KEY = 0x2D;

}  // namespace

void command_line_path(const char16_t* command_line, char16_t* out) {
    std::size_t n = 0;
    if (command_line != nullptr) {
        const char16_t* p = command_line;
        if (*p == u'"') ++p;
        while (n < PATH_LIMIT && p[n] != u'\0' && p[n] != u'"') {
            out[n] = p[n];
            ++n;
        }
    }
    out[n] = u'\0';
}

bool redirects_key(std::uint32_t virtual_key, KeyModifiers modifiers) {
    switch (virtual_key) {
    case VK_TAB_KEY:
    case VK_SPACE_KEY:
    case VK_LEFT_KEY:
    case VK_RIGHT_KEY:
    case VK_HOME_KEY:
    case VK_END_KEY: return false;
    case VK_UP_KEY:
    case VK_DOWN_KEY: return !modifiers.shift;
    case 'C':
    case 'A':
    case VK_INSERT_KEY: return !modifiers.control;
    default: return true;
    }
}

KeyCommand key_command(std::uint32_t virtual_key, std::int32_t mode) {
    switch (virtual_key) {
    case 'A': return {true, IDC_ABOUT};
    case 'O': return {true, IDC_OPEN};
    case 'D': return {true, mode == MODE_CONTAINER ? IDC_CRYPT : 0};
    case 'E': return {true, mode == MODE_PLAIN ? IDC_CRYPT : 0};
    case 'T': return {true, mode == MODE_CONTAINER ? IDC_TEST : 0};
    default: return {false, 0};
    }
}

CommandButtons buttons_for_container() { return {u"&Decrypt...", true, true}; }
CommandButtons buttons_for_plain_file() { return {u"&Encrypt...", true, false}; }
CommandButtons buttons_for_nothing() { return {nullptr, false, false}; }

bool command_allowed(int command, RunState run_state, std::int32_t mode) {
    const bool idle = run_state == RunState::idle;
    switch (command) {
    case IDC_ABOUT: return true;
    case IDC_TEST: return idle && mode == MODE_CONTAINER;
    case IDC_CRYPT: return idle && (mode == MODE_CONTAINER || mode == MODE_PLAIN);
    case IDC_OPEN:
    case IDC_USE_KEYFILE:
    case IDC_CHOOSE_KEYFILE:
    case IDC_FORGET_KEYFILE: return idle;
    default: return false;
    }
}

bool accepts_drop(RunState run_state, bool main_window_enabled) {
    return run_state == RunState::idle && main_window_enabled;
}

int edit_margin(std::uint32_t dpi) { return static_cast<int>((3u * dpi + 48u) / 96u); }

std::uint32_t startup_dpi(std::uint32_t reported) { return reported > BASE_DPI ? reported : BASE_DPI; }

Point centred_position(const Rect& window, const Rect& reference) {
    const std::int32_t x = reference.left + ((reference.right - reference.left) - (window.right - window.left)) / 2;
    const std::int32_t y = reference.top + ((reference.bottom - reference.top) - (window.bottom - window.top)) / 2;
    return {x, y};
}

Point kept_inside(const Rect& window, const Rect& area) {
    const std::int32_t width = window.right - window.left;
    const std::int32_t height = window.bottom - window.top;
    std::int32_t x = window.left;
    std::int32_t y = window.top;
    if (x + width > area.right) x = area.right - width;
    if (y + height > area.bottom) y = area.bottom - height;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    return {x, y};
}

namespace {

std::int32_t width_of(const Rect& r) { return r.right - r.left; }
std::int32_t height_of(const Rect& r) { return r.bottom - r.top; }

}  // namespace

MessagePlan plan_message(const MessageGeometry& g, const MeasureText& measure) {
    const std::int32_t width = width_of(g.text);
    const std::int32_t height = height_of(g.text);
    PixelSize need = measure(width);
    if (need.width <= width && need.height <= height) return {false, g.text, g.button, g.outer};

    // What the dialog has around the text, which stays as it is.
    const std::int32_t beside = g.outer.width - width;
    const std::int32_t around = g.outer.height - height;
    const std::int32_t widest = std::max(width, g.limit.width - beside);
    const std::int32_t tallest = std::max(height, g.limit.height - around);

    std::int32_t new_width = std::min(std::max(width, need.width), widest);
    need = measure(new_width);
    // Too tall for the work area: wider lines, a half more each time.
    while (need.height > tallest && new_width < widest) {
        new_width = std::min(widest, new_width + std::max<std::int32_t>(new_width / 2, 1));
        need = measure(new_width);
    }
    const std::int32_t new_height = std::min(std::max(height, need.height), tallest);

    const std::int32_t grow_x = new_width - width;
    const std::int32_t grow_y = new_height - height;
    MessagePlan plan{true, g.text, g.button, {g.outer.width + grow_x, g.outer.height + grow_y}};
    plan.text.right += grow_x;
    plan.text.bottom += grow_y;
    plan.button = {g.button.left + grow_x / 2, g.button.top + grow_y, g.button.right + grow_x / 2,
                   g.button.bottom + grow_y};
    return plan;
}

}  // namespace corvane::ui
