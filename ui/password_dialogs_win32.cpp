// The Enter Password and Select Password dialogs. Both hide the typed text
// unless "Show" is pressed and overwrite their password fields before they close.
#include "ui/desktop_win32.h"

#include <new>

#include "resources/resource.h"
#include "ui/format.h"
#include "ui/main_window.h"
#include "ui/password_dialogs.h"

namespace corvane::ui {

namespace {

void focus_control(HWND dialog, int id) {
    PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
}

void hide_typing(HWND dialog, int id, std::size_t limit) {
    SendDlgItemMessageW(dialog, id, EM_SETPASSWORDCHAR, PASSWORD_CHAR, 0);
    SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, limit, 0);
}

void read_field(HWND dialog, int id, char16_t* out, std::size_t limit) {
    GetDlgItemTextW(dialog, id, wide(out), static_cast<int>(limit + 1));
}

void show_dialog(HWND dialog) {
    ShowWindow(dialog, SW_SHOW);
    center_window(dialog, GetParent(dialog));
}

// --- Enter Password ------------------------------------------------------

void enter_init(AppState& state, HWND dialog) {
    CheckDlgButton(dialog, IDC_SHOW, BST_UNCHECKED);
    hide_typing(dialog, IDC_PASSWORD, PASSWORD_UNITS);
    wipe_password_fields(state);
    header_hint(state.job.header, state.hint);
    SetDlgItemTextW(dialog, IDC_HINT, wide(state.hint));
    focus_control(dialog, IDC_PASSWORD);
    show_dialog(dialog);
}

void enter_accept(AppState& state, HWND dialog) {
    SecureZeroMemory(state.password, sizeof state.password);
    read_field(dialog, IDC_PASSWORD, state.password, PASSWORD_UNITS);
    wipe_edit(GetDlgItem(dialog, IDC_PASSWORD));
    EndDialog(dialog, 1);
}

INT_PTR enter_dispatch(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    AppState* state = dialog_record<AppState>(dialog, message, lparam);
    if (state == nullptr) return FALSE;
    switch (message) {
    case WM_INITDIALOG: enter_init(*state, dialog); return FALSE;  // focus is set by the posted move
    case WM_CLOSE:
        // A cancelled password does not stay in the control's memory either.
        wipe_edit(GetDlgItem(dialog, IDC_PASSWORD));
        EndDialog(dialog, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK: enter_accept(*state, dialog); return TRUE;
        case IDCANCEL: PostMessageW(dialog, WM_CLOSE, 0, 0); return TRUE;
        case IDC_PASSWORD:
        case IDC_HINT: state->focus_edit = reinterpret_cast<HWND>(lparam); return TRUE;
        case IDC_SHOW: apply_show_toggle(dialog, IDC_PASSWORD, 0); return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

INT_PTR CALLBACK enter_password_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    return guarded([&] { return enter_dispatch(dialog, message, wparam, lparam); });
}

// --- Select Password -----------------------------------------------------

void fill_list(HWND dialog, int id, std::span<const std::uint32_t> values, std::uint32_t selected,
               char16_t* (*text_of)(char16_t*, std::uint32_t), char16_t* scratch) {
    for (std::uint32_t value : values) {
        text_of(scratch, value);
        const LRESULT index = SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(scratch)));
        if (index < 0) continue;
        SendDlgItemMessageW(dialog, id, CB_SETITEMDATA, static_cast<WPARAM>(index), value);
        if (value == selected) SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
}

char16_t* jumble_text(char16_t* out, std::uint32_t rounds) {
    return format_scheme(out, rounds, JUMBLE_LIST_BLOCK_SIZE, 0);
}

void select_init(AppState& state, HWND dialog) {
    fill_list(dialog, IDC_JUMBLE_LIST, jumble_choices(), state.jumble_rounds, &jumble_text, state.scratch_text);
    fill_list(dialog, IDC_BLOCK_LIST, block_size_choices(), state.block_size, &format_block_range, state.scratch_text);
    CheckDlgButton(dialog, IDC_SHOW, BST_UNCHECKED);
    hide_typing(dialog, IDC_NEW_PASSWORD, PASSWORD_UNITS);
    hide_typing(dialog, IDC_CONFIRM_PASSWORD, PASSWORD_UNITS);
    SendDlgItemMessageW(dialog, IDC_HINT, EM_LIMITTEXT, HINT_UNITS, 0);
    focus_control(dialog, IDC_NEW_PASSWORD);
    show_dialog(dialog);
}

void select_accept(AppState& state, HWND dialog) {
    wipe_password_fields(state);
    read_field(dialog, IDC_NEW_PASSWORD, state.password, PASSWORD_UNITS);
    read_field(dialog, IDC_CONFIRM_PASSWORD, state.confirm, PASSWORD_UNITS);
    read_field(dialog, IDC_HINT, state.hint, HINT_UNITS);
    wipe_edit(GetDlgItem(dialog, IDC_NEW_PASSWORD));
    wipe_edit(GetDlgItem(dialog, IDC_CONFIRM_PASSWORD));
    if (passwords_match(state.password, state.confirm)) {
        EndDialog(dialog, 1);
        return;
    }
    message_dialog(dialog, StatusCode::confirm_mismatch);
    focus_control(dialog, IDC_NEW_PASSWORD);
}

void take_selection(HWND dialog, int id, std::uint32_t& target) {
    const LRESULT index = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    if (index < 0) return;
    target = static_cast<std::uint32_t>(SendDlgItemMessageW(dialog, id, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

INT_PTR select_dispatch(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    AppState* state = dialog_record<AppState>(dialog, message, lparam);
    if (state == nullptr) return FALSE;
    switch (message) {
    case WM_INITDIALOG: select_init(*state, dialog); return FALSE;
    case WM_CLOSE:
        wipe_edit(GetDlgItem(dialog, IDC_NEW_PASSWORD));
        wipe_edit(GetDlgItem(dialog, IDC_CONFIRM_PASSWORD));
        EndDialog(dialog, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK: select_accept(*state, dialog); return TRUE;
        case IDCANCEL: PostMessageW(dialog, WM_CLOSE, 0, 0); return TRUE;
        case IDC_HINT:
        case IDC_NEW_PASSWORD:
        case IDC_CONFIRM_PASSWORD: state->focus_edit = reinterpret_cast<HWND>(lparam); return TRUE;
        case IDC_SHOW: apply_show_toggle(dialog, IDC_NEW_PASSWORD, IDC_CONFIRM_PASSWORD); return TRUE;
        case IDC_JUMBLE_LIST:
            if (HIWORD(wparam) != CBN_SELENDOK) return FALSE;
            take_selection(dialog, IDC_JUMBLE_LIST, state->jumble_rounds);
            return TRUE;
        case IDC_BLOCK_LIST:
            if (HIWORD(wparam) != CBN_SELENDOK) return FALSE;
            take_selection(dialog, IDC_BLOCK_LIST, state->block_size);
            return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

INT_PTR CALLBACK select_password_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    return guarded([&] { return select_dispatch(dialog, message, wparam, lparam); });
}

}  // namespace

INT_PTR enter_password_dialog(HWND owner) {
    AppState& state = app_state();
    return DialogBoxParamW(static_cast<HINSTANCE>(state.instance), MAKEINTRESOURCEW(IDD_ENTER_PASSWORD), owner,
                           enter_password_proc, reinterpret_cast<LPARAM>(&state)) == 1
               ? 1
               : 0;
}

INT_PTR select_password_dialog(HWND owner) {
    AppState& state = app_state();
    return DialogBoxParamW(static_cast<HINSTANCE>(state.instance), MAKEINTRESOURCEW(IDD_SELECT_PASSWORD), owner,
                           select_password_proc, reinterpret_cast<LPARAM>(&state)) == 1
               ? 1
               : 0;
}

void apply_show_toggle(HWND dialog, int first_edit, int second_edit) {
    AppState& state = app_state();
    HWND focus = window_of(state.focus_edit);
    DWORD start = 0, end = 0;
    if (focus != nullptr)
        SendMessageW(focus, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const WPARAM shown = password_char(IsDlgButtonChecked(dialog, IDC_SHOW) == BST_CHECKED);
    for (int id : {first_edit, second_edit}) {
        if (id == 0) continue;
        SendDlgItemMessageW(dialog, id, EM_SETPASSWORDCHAR, shown, 0);
        SendDlgItemMessageW(dialog, id, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, 0));
        InvalidateRect(GetDlgItem(dialog, id), nullptr, TRUE);
    }
    if (focus == nullptr) return;
    PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
    PostMessageW(focus, EM_SETSEL, start, static_cast<LPARAM>(end));
}

void wipe_edit(HWND edit) {
    const int length = GetWindowTextLengthW(edit);
    const std::size_t units = wipe_buffer_units(length > 0 ? static_cast<std::size_t>(length) : 0);
    if (units > 0) {
        auto* spaces = new (std::nothrow) wchar_t[units];
        if (spaces != nullptr) {
            for (std::size_t i = 0; i + 1 < units; ++i) spaces[i] = L' ';
            spaces[units - 1] = L'\0';
            SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(spaces));
            delete[] spaces;
        }
    }
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
}

}  // namespace corvane::ui
