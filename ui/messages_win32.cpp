// The message dialog that reports a status, and the About dialog.
#include "ui/desktop_win32.h"

#include <shellapi.h>

#include "resources/resource.h"
#include "resources/version.h"
#include "ui/main_window.h"
#include "ui/messages.h"

namespace corvane::ui {

namespace {

constexpr const wchar_t* ABOUT_TEXT =
    L"Corvane\r\nFile Encryption\r\n" CORVANE_VERSION_TEXT_W L" (x64)\r\nOne file, one password.";

struct MessageUnit {
    StatusCode status;
};

Rect client_rect_of(HWND control, HWND dialog) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
}

void place(HWND window, const Rect& r) {
    SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The template has room for one short line; a longer text, or a larger font
// than the template was laid out for, gets the room it needs, measured with
// the font the control really has.
void fit_message_text(HWND dialog) {
    HWND text = GetDlgItem(dialog, IDC_MESSAGE_TEXT);
    HWND button = GetDlgItem(dialog, IDOK);
    wchar_t shown[256];
    if (text == nullptr || button == nullptr || GetWindowTextW(text, shown, 256) <= 0) return;
    const UINT format = DT_CALCRECT | DT_WORDBREAK | DT_CENTER | DT_NOPREFIX | DT_EXPANDTABS;

    RECT outer, work;
    GetWindowRect(dialog, &outer);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    HWND owner = GetParent(dialog) != nullptr ? GetParent(dialog) : dialog;
    if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor))
        work = monitor.rcWork;
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const MessageGeometry geometry{client_rect_of(text, dialog),
                                   client_rect_of(button, dialog),
                                   {outer.right - outer.left, outer.bottom - outer.top},
                                   {work.right - work.left, work.bottom - work.top}};

    HDC dc = GetDC(text);
    if (dc == nullptr) return;
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(text, WM_GETFONT, 0, 0)));
    const MessagePlan plan = plan_message(geometry, [&](std::int32_t width) {
        RECT need = {0, 0, width, 0};
        DrawTextW(dc, shown, -1, &need, format);
        return PixelSize{need.right - need.left, need.bottom - need.top};
    });
    SelectObject(dc, previous);
    ReleaseDC(text, dc);
    if (!plan.changed) return;
    place(text, plan.text);
    place(button, plan.button);
    SetWindowPos(dialog, nullptr, 0, 0, plan.outer.width, plan.outer.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR message_dispatch(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    MessageUnit* unit = dialog_record<MessageUnit>(dialog, message, lparam);
    if (unit == nullptr) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        if (unit->status != StatusCode::ok) {
            const MessageText text = status_message(unit->status);
            SetWindowTextW(dialog, wide(text.title));
            SetDlgItemTextW(dialog, IDC_MESSAGE_TEXT, wide(text.text));
            fit_message_text(dialog);
        }
        ShowWindow(dialog, SW_SHOW);
        center_window(dialog, GetParent(dialog));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK: EndDialog(dialog, 1); return TRUE;
        case IDCANCEL: PostMessageW(dialog, WM_CLOSE, 0, 0); return TRUE;
        default: return FALSE;
        }
    case WM_CLOSE: EndDialog(dialog, 2); return TRUE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK message_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    return guarded([&] { return message_dispatch(dialog, message, wparam, lparam); });
}

struct AboutUnit {
    HINSTANCE instance;
    HICON icon = nullptr;
};

void about_init(AboutUnit& unit, HWND dialog) {
    SetDlgItemTextW(dialog, IDC_ABOUT_TEXT, ABOUT_TEXT);
    SetDlgItemTextW(dialog, IDC_ABOUT_LINK, CORVANE_WEB_HOST_W);
    // The template's icon control shows the 32-pixel image; the 48-pixel one
    // suits the space it is given.
    // The OK button is control 2, so Escape and Enter both close the dialog.
    SendMessageW(dialog, DM_SETDEFID, IDCANCEL, 0);
    unit.icon = static_cast<HICON>(LoadImageW(unit.instance, MAKEINTRESOURCEW(IDI_CORVANE), IMAGE_ICON, 48, 48, 0));
    if (unit.icon != nullptr) SendDlgItemMessageW(dialog, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(unit.icon), 0);
    ShowWindow(dialog, SW_SHOW);
    center_window(dialog, GetParent(dialog));
    // Enter closes the dialog rather than opening a browser.
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDCANCEL)), TRUE);
}

INT_PTR about_dispatch(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    AboutUnit* unit = dialog_record<AboutUnit>(dialog, message, lparam);
    if (unit == nullptr) return FALSE;
    switch (message) {
    case WM_INITDIALOG: about_init(*unit, dialog); return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_ABOUT_LINK:
            ShellExecuteW(dialog, L"open", CORVANE_WEB_ADDRESS_W, nullptr, nullptr, SW_SHOWNORMAL);
            return TRUE;
        case IDOK:
        case IDCANCEL: PostMessageW(dialog, WM_CLOSE, 0, 0); return TRUE;
        default: return FALSE;
        }
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    case WM_DESTROY:
        if (unit->icon != nullptr) DestroyIcon(unit->icon);
        unit->icon = nullptr;
        return TRUE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK about_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    return guarded([&] { return about_dispatch(dialog, message, wparam, lparam); });
}

}  // namespace

INT_PTR message_dialog(HWND owner, StatusCode status) {
    MessageUnit unit{status};
    return DialogBoxParamW(static_cast<HINSTANCE>(app_state().instance), MAKEINTRESOURCEW(IDD_MESSAGE), owner,
                           message_proc, reinterpret_cast<LPARAM>(&unit));
}

INT_PTR about_dialog(HWND owner) {
    AboutUnit unit{static_cast<HINSTANCE>(app_state().instance)};
    return DialogBoxParamW(unit.instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, about_proc,
                           reinterpret_cast<LPARAM>(&unit));
}

}  // namespace corvane::ui
