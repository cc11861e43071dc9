// Opening a file into the main window, the Encrypt/Decrypt command, the key
// file, and the system's file dialogs and type names.
#include "ui/desktop_win32.h"

#include <commdlg.h>
#include <shlwapi.h>

#include "jobs/paths.h"
#include "resources/resource.h"
#include "ui/commands.h"
#include "ui/format.h"
#include "ui/file_texts.h"
#include "ui/file_view.h"
#include "ui/main_window.h"
#include "ui/password_dialogs.h"
#include "ui/progress_dialog.h"

namespace corvane::ui {

namespace {

constexpr DWORD DIALOG_PATH_UNITS = 260;

void show_buttons(HWND window, const CommandButtons& buttons) {
    if (buttons.crypt_text != nullptr) SetDlgItemTextW(window, IDC_CRYPT, wide(buttons.crypt_text));
    EnableWindow(GetDlgItem(window, IDC_CRYPT), buttons.crypt_enabled);
    EnableWindow(GetDlgItem(window, IDC_TEST), buttons.test_enabled);
}

// The Type, Size and Date fields show their texts after one space, set
// through scratch_text.
void set_field(AppState& state, HWND window, int id, const char16_t* text) {
    state.scratch_text[0] = u' ';
    copy_limited(state.scratch_text + 1, text, SCRATCH_UNITS - 2);
    SetDlgItemTextW(window, id, wide(state.scratch_text));
}

void show_view(AppState& state, HWND window, const FileView& view) {
    SetDlgItemTextW(window, IDC_FILE, wide(view.name));
    set_field(state, window, IDC_TYPE, view.type);
    set_field(state, window, IDC_SIZE_TEXT, view.size);
    set_field(state, window, IDC_DATE, view.date);
}

void show_container(AppState& state, HWND window, const PathParts& parts, const FileView& view) {
    show_view(state, window, view);
    default_decrypt_output(state.job.header, state.output_path);
    show_buttons(window, buttons_for_container());
    SetWindowTextW(window, wide(parts.full + parts.name));
    state.mode = MODE_CONTAINER;
}

void show_failure(AppState& state, HWND window, StatusCode status) {
    state.mode = MODE_NOTHING;
    for (int id : {IDC_FILE, IDC_TYPE, IDC_SIZE_TEXT, IDC_DATE}) SetDlgItemTextW(window, id, L"");
    SecureZeroMemory(state.output_path, sizeof state.output_path);
    show_buttons(window, buttons_for_nothing());
    SetWindowTextW(window, wide(state.title));
    message_dialog(window, status);
}

void show_plain_file(AppState& state, HWND window, const PathParts& parts, const FileView& view) {
    show_view(state, window, view);
    default_encrypt_output(parts.full, state.output_path);
    show_buttons(window, buttons_for_plain_file());
    SetWindowTextW(window, wide(state.title));
    state.mode = MODE_PLAIN;
}

bool friendly_type_name(const char16_t* dotted_extension, char16_t* out) {
    DWORD units = FILE_TYPE_UNITS;
    const HRESULT result =
        AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_FRIENDLYDOCNAME, wide(dotted_extension), nullptr, wide(out), &units);
    return result == S_OK && out[0] != u'\0';
}

bool is_folder_or_missing(const wchar_t* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void decrypt_command(AppState& state, HWND window) {
    SecureZeroMemory(state.scratch_text, sizeof state.scratch_text);
    char16_t type_text[FILE_TYPE_UNITS];
    describe_file_type(wide(state.output_path), wide(type_text));
    if (!decrypt_save_filter(type_text, state.output_path, state.scratch_text, SCRATCH_UNITS)) return;
    char16_t default_extension[EXTENSION_LIMIT + 1];
    copy_limited(default_extension, extension_of(state.output_path), EXTENSION_LIMIT);
    const wchar_t* extension = default_extension[0] != u'\0' ? wide(default_extension) : nullptr;
    if (!ask_save_path(window, wide(state.scratch_text), wide(state.output_path), extension)) return;
    if (enter_password_dialog(window) != 1) return;
    progress_dialog(window, JOB_DECRYPT);
}

void encrypt_command(AppState& state, HWND window) {
    if (select_password_dialog(window) != 1) return;
    if (!ask_save_path(window, wide(encrypt_save_filter().units), wide(state.output_path),
                       wide(ENCRYPT_DEFAULT_EXTENSION)))
        return;
    progress_dialog(window, JOB_ENCRYPT);
    if (reinspect_after_encrypt(state.mode)) {
        copy_limited(state.pick_path, state.output_path, PATH_FIELD_UNITS - 1);
        inspect_file(1);
    }
}

}  // namespace

void inspect_file(int from_pick) {
    AppState& state = app_state();
    HWND window = window_of(state.main_window);
    if (state.job.run_state.load() != RunState::idle) return;
    if (from_pick == 0) {
        SecureZeroMemory(state.pick_path, sizeof state.pick_path);
        if (!ask_open_path(window, wide(open_filter().units), wide(state.pick_path), nullptr)) return;
    } else if (is_folder_or_missing(wide(state.pick_path))) {
        return;
    }
    copy_limited(state.source_path, state.pick_path, PATH_FIELD_UNITS - 1);

    PathParts parts{};
    split_path(parts, state.source_path);
    FileView view;
    view_file(state.job, state.source_path, view, &friendly_type_name);
    switch (view.kind) {
    case Inspection::container: show_container(state, window, parts, view); break;
    case Inspection::failure: show_failure(state, window, view.status); break;
    case Inspection::plain_file: show_plain_file(state, window, parts, view); break;
    }
}

void crypt_command() {
    AppState& state = app_state();
    if (state.job.run_state.load() != RunState::idle) return;
    HWND window = window_of(state.main_window);
    if (state.mode == MODE_CONTAINER)
        decrypt_command(state, window);
    else if (state.mode == MODE_PLAIN)
        encrypt_command(state, window);
    wipe_password_fields(state);
}

void choose_key_file() {
    AppState& state = app_state();
    if (state.job.run_state.load() != RunState::idle) return;
    HWND window = window_of(state.main_window);
    SecureZeroMemory(state.pick_path, sizeof state.pick_path);
    if (!ask_open_path(window, wide(open_key_filter().units), wide(state.pick_path), wide(OPEN_KEY_CAPTION))) return;
    copy_limited(state.keyfile_path, state.pick_path, PATH_FIELD_UNITS - 1);
    state.use_keyfile = 1;
    CheckDlgButton(window, IDC_USE_KEYFILE, BST_CHECKED);
    SetDlgItemTextW(window, IDC_KEYFILE, wide(state.keyfile_path));
}

wchar_t* describe_file_type(const wchar_t* path, wchar_t* out) {
    describe_file_type(reinterpret_cast<const char16_t*>(path), reinterpret_cast<char16_t*>(out), &friendly_type_name);
    return out;
}

int ask_open_path(HWND owner, const wchar_t* filter, wchar_t* buffer, const wchar_t* caption) {
    if (buffer[0] != L'\0' && is_folder_or_missing(buffer)) SecureZeroMemory(buffer, DIALOG_PATH_UNITS * sizeof(wchar_t));
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = buffer;
    dialog.nMaxFile = DIALOG_PATH_UNITS;
    dialog.lpstrTitle = caption;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameW(&dialog) ? 1 : 0;
}

int ask_save_path(HWND owner, const wchar_t* filter, wchar_t* buffer, const wchar_t* default_extension) {
    if (save_path_names_folder(reinterpret_cast<const char16_t*>(buffer)))
        SecureZeroMemory(buffer, DIALOG_PATH_UNITS * sizeof(wchar_t));
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = buffer;
    dialog.nMaxFile = DIALOG_PATH_UNITS;
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    dialog.lpstrDefExt = default_extension;
    return GetSaveFileNameW(&dialog) ? 1 : 0;
}

}  // namespace corvane::ui
