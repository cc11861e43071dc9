// What the Win32 units of the desktop program share: the window messages
// between worker and progress dialog, the routines every dialog uses, and the
// entry points of each dialog.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

#include "engine/container/status.h"
#include "ui/app_state.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 text is UTF-16");

namespace corvane::ui {

inline constexpr UINT WM_JOB_STATUS = WM_APP + 2;
inline constexpr UINT WM_JOB_DONE = WM_APP + 3;
static_assert(WM_JOB_STATUS == 0x8002 && WM_JOB_DONE == 0x8003);
// Re-applies the edit margins once the system has rescaled the main window.
inline constexpr UINT WM_APPLY_MARGINS = WM_APP + 4;
// Opens the file a drop has left in pick_path, after the drag source has been answered.
inline constexpr UINT WM_OPEN_DROPPED = WM_APP + 5;

// UTF-16 in portable code is wchar_t on Windows.
inline const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

inline HWND window_of(void* handle) { return static_cast<HWND>(handle); }

// Keeps C++ exceptions out of the window manager: a dialog procedure that
// throws reports the message as not handled.
template <class Handler>
INT_PTR guarded(Handler&& handler) noexcept {
    try {
        return handler();
    } catch (...) {
        return FALSE;
    }
}

// Stores the dialog's owner record at WM_INITDIALOG and returns it afterwards
// (null before WM_INITDIALOG).
template <class Record>
Record* dialog_record(HWND dialog, UINT message, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        return reinterpret_cast<Record*>(lparam);
    }
    return reinterpret_cast<Record*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// Main window and shared routines.
INT_PTR CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void set_edit_margins(HWND window, UINT dpi);
void move_to_default_position(HWND window);
void center_window(HWND window, HWND reference);

// File inspection and commands.
void inspect_file(int from_pick);
void crypt_command();
void choose_key_file();
wchar_t* describe_file_type(const wchar_t* path, wchar_t* out);
int ask_open_path(HWND owner, const wchar_t* filter, wchar_t* buffer, const wchar_t* caption);
int ask_save_path(HWND owner, const wchar_t* filter, wchar_t* buffer, const wchar_t* default_extension);

// Password dialogs: 1 accepted, 0 cancelled.
INT_PTR enter_password_dialog(HWND owner);
INT_PTR select_password_dialog(HWND owner);
void apply_show_toggle(HWND dialog, int first_edit, int second_edit);
void wipe_edit(HWND edit);

// Progress, confirmation, message and About dialogs.
INT_PTR progress_dialog(HWND owner, std::uint32_t job_kind);
INT_PTR message_dialog(HWND owner, StatusCode status);
INT_PTR about_dialog(HWND owner);

// Worker entries, started with _beginthreadex; the argument is the AppState.
unsigned __stdcall run_decrypt_job(void* state);
unsigned __stdcall run_encrypt_job(void* state);
unsigned __stdcall run_test_job(void* state);

}  // namespace corvane::ui
