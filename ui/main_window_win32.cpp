// The process entry, the modeless main dialog and its message loop, and the
// window placement routines the other dialogs share.
#include "ui/desktop_win32.h"

#include <ole2.h>
#include <commctrl.h>
#include <shellapi.h>

#include <new>

#include "resources/resource.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"

namespace corvane::ui {

namespace {

AppState& state_of(HWND window) {
    auto* state = reinterpret_cast<AppState*>(GetWindowLongPtrW(window, DWLP_USER));
    return state != nullptr ? *state : app_state();
}

UINT window_dpi(HWND window) {
    UINT dpi = BASE_DPI;
    HMODULE user32 = LoadLibraryW(L"User32.dll");
    if (user32 == nullptr) return dpi;
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
    if (get_dpi != nullptr) dpi = startup_dpi(get_dpi(window));
    FreeLibrary(user32);
    return dpi;
}

bool drop_allowed(const AppState& state, HWND window) {
    return accepts_drop(state.job.run_state.load(), IsWindowEnabled(window) != FALSE);
}

// Takes the first file of a drop as the path to open; false when there is
// none or it is too long (a longer path would be cut to another file's name).
bool take_dropped_path(AppState& state, HDROP drop) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0 || length >= PATH_UNITS) return false;
    SecureZeroMemory(state.pick_path, sizeof state.pick_path);
    return DragQueryFileW(drop, 0, wide(state.pick_path), PATH_UNITS) == length;
}

// A dropped file is opened as a command-line path is; only the first counts.
void on_drop(AppState& state, HWND window, HDROP drop) {
    if (drop_allowed(state, window) && take_dropped_path(state, drop)) inspect_file(1);
    DragFinish(drop);
}

// Drops from OLE drag sources, which is how the shell and most programs drag
// (and the only way this system's drag sources reach another process under
// Wine); older sources send WM_DROPFILES. Both end in inspect_file. The file
// is opened once the drag source has been answered, so that a message about
// it does not hold the source's drag loop.
class FileDropTarget final : public IDropTarget {
public:
    explicit FileDropTarget(HWND window) : window_(window) {}
    FileDropTarget(const FileDropTarget&) = delete;
    FileDropTarget& operator=(const FileDropTarget&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
            *out = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        FORMATETC format = files_format();
        carries_files_ = data != nullptr && data->QueryGetData(&format) == S_OK;
        return answer(effect);
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override { return answer(effect); }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        carries_files_ = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        carries_files_ = false;
        if (effect != nullptr) *effect = DROPEFFECT_NONE;
        AppState& state = app_state();
        if (data == nullptr || !drop_allowed(state, window_)) return S_OK;
        FORMATETC format = files_format();
        STGMEDIUM medium = {};
        if (data->GetData(&format, &medium) != S_OK) return S_OK;
        const bool taken = medium.tymed == TYMED_HGLOBAL && take_dropped_path(state, static_cast<HDROP>(medium.hGlobal));
        ReleaseStgMedium(&medium);
        if (!taken) return S_OK;
        PostMessageW(window_, WM_OPEN_DROPPED, 0, 0);
        if (effect != nullptr) *effect = DROPEFFECT_COPY;
        return S_OK;
    }

private:
    static FORMATETC files_format() { return {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }
    HRESULT answer(DWORD* effect) const {
        if (effect == nullptr) return E_INVALIDARG;
        *effect = carries_files_ && drop_allowed(app_state(), window_) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
        return S_OK;
    }

    HWND window_;
    LONG references_ = 1;
    bool carries_files_ = false;
};

void accept_drops(HWND window) {
    DragAcceptFiles(window, TRUE);
    // Without OLE (OleInitialize failed) WM_DROPFILES still works.
    auto* target = new (std::nothrow) FileDropTarget(window);
    if (target == nullptr) return;
    RegisterDragDrop(window, target);
    target->Release();
}

void on_open_dropped(AppState& state, HWND window) {
    if (drop_allowed(state, window) && state.pick_path[0] != u'\0') inspect_file(1);
}

void init_main_window(AppState& state, HWND window) {
    SendMessageW(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconW(static_cast<HINSTANCE>(state.instance), MAKEINTRESOURCEW(IDI_CORVANE))));
    state.main_window = window;
    state.file_edit = GetDlgItem(window, IDC_FILE);
    state.keyfile_edit = GetDlgItem(window, IDC_KEYFILE);
    set_edit_margins(window, window_dpi(window));
    move_to_default_position(window);
    accept_drops(window);
}

void on_close(AppState& state, HWND window) {
    if (state.job.run_state.load() != RunState::idle) return;
    state.job.run_state.store(RunState::closing);
    DestroyWindow(window);
}

void on_destroy(AppState& state, HWND window) {
    RevokeDragDrop(window);
    if (state.job.run_state.load() != RunState::closing) return;
    // Only reachable from Idle: at most the last worker's final steps remain.
    if (state.worker_thread != nullptr) WaitForSingleObject(state.worker_thread, INFINITE);
    wipe_paths(state);
    wipe_password_fields(state);
    if (state.worker_thread != nullptr) {
        CloseHandle(state.worker_thread);
        state.worker_thread = nullptr;
    }
    state.job.run_state.store(RunState::closed);
    PostQuitMessage(0);
}

void on_key(AppState& state, HWND window, WPARAM key, BOOL& handled) {
    const KeyCommand command = key_command(static_cast<std::uint32_t>(key), state.mode);
    handled = command.handled ? TRUE : FALSE;
    if (command.command != 0) PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(command.command), 0);
}

void on_use_keyfile(AppState& state, HWND window) {
    if (state.job.run_state.load() != RunState::idle) return;
    if (state.keyfile_path[0] == u'\0') {
        CheckDlgButton(window, IDC_USE_KEYFILE, BST_UNCHECKED);
        choose_key_file();
    }
    state.use_keyfile = IsDlgButtonChecked(window, IDC_USE_KEYFILE) == BST_CHECKED ? 1u : 0u;
}

void on_forget_keyfile(AppState& state, HWND window) {
    if (state.job.run_state.load() != RunState::idle) return;
    SecureZeroMemory(state.keyfile_path, sizeof state.keyfile_path);
    state.use_keyfile = 0;
    CheckDlgButton(window, IDC_USE_KEYFILE, BST_UNCHECKED);
    SetDlgItemTextW(window, IDC_KEYFILE, L"");
}

BOOL on_command(AppState& state, HWND window, int id) {
    switch (id) {
    case IDC_OPEN: inspect_file(0); return TRUE;
    case IDC_CRYPT: crypt_command(); return TRUE;
    case IDC_TEST:
        if (command_allowed(id, state.job.run_state.load(), state.mode)) progress_dialog(window, JOB_TEST);
        return TRUE;
    case IDC_ABOUT: about_dialog(window); return TRUE;
    case IDC_USE_KEYFILE: on_use_keyfile(state, window); return TRUE;
    case IDC_CHOOSE_KEYFILE: choose_key_file(); return TRUE;
    case IDC_FORGET_KEYFILE: on_forget_keyfile(state, window); return TRUE;
    default: return FALSE;
    }
}


INT_PTR dispatch(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        AppState* record = dialog_record<AppState>(window, message, lparam);
        init_main_window(record != nullptr ? *record : app_state(), window);
        return TRUE;
    }
    AppState& state = state_of(window);
    switch (message) {
    case WM_CLOSE: on_close(state, window); return TRUE;
    case WM_DESTROY: on_destroy(state, window); return TRUE;
    case WM_KEYDOWN: {
        BOOL handled = FALSE;
        on_key(state, window, wparam, handled);
        return handled;
    }
    case WM_COMMAND: return on_command(state, window, LOWORD(wparam));
    case WM_DPICHANGED:
        set_edit_margins(window, HIWORD(wparam));
        // The system rescales the dialog in its default handling, which
        // resets the edits' text rectangles; they are set again after it.
        PostMessageW(window, WM_APPLY_MARGINS, HIWORD(wparam), 0);
        return FALSE;
    case WM_APPLY_MARGINS: set_edit_margins(window, static_cast<UINT>(wparam)); return TRUE;
    case WM_DROPFILES: on_drop(state, window, reinterpret_cast<HDROP>(wparam)); return TRUE;
    case WM_OPEN_DROPPED: on_open_dropped(state, window); return TRUE;
    default: return FALSE;
    }
}

// The modifiers as they were when the key message now handled was queued.
KeyModifiers held_modifiers() {
    return {GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_SHIFT) < 0};
}

int run_message_loop(AppState& state) {
    MSG message;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got > 0) {
            if (message.message == WM_KEYDOWN &&
                (message.hwnd == window_of(state.file_edit) || message.hwnd == window_of(state.keyfile_edit)) &&
                redirects_key(static_cast<std::uint32_t>(message.wParam), held_modifiers())) {
                // Straight to the main window's key table: through the dialog
                // manager the key would also become a character that matches a
                // button's mnemonic ("&About"), and the command would run twice.
                message.hwnd = window_of(state.main_window);
                DispatchMessageW(&message);
                continue;
            }
            if (!IsDialogMessageW(window_of(state.main_window), &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            continue;
        }
        // A quit that arrives before the window has closed becomes a close request.
        if (state.job.run_state.load() != RunState::closed) {
            message.message = 0;
            PostMessageW(window_of(state.main_window), WM_CLOSE, 0, 0);
        }
        if (message.message == WM_QUIT) return static_cast<int>(message.wParam);
    }
}

}  // namespace

INT_PTR CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return guarded([&] { return dispatch(window, message, wparam, lparam); });
}

void set_edit_margins(HWND window, UINT dpi) {
    RECT client;
    if (!GetClientRect(GetDlgItem(window, IDC_FILE), &client)) return;
    if (client.left != 0 || client.top != 0) return;
    const int m = edit_margin(dpi);
    RECT text = {m, m, client.right - m, client.bottom};
    SendDlgItemMessageW(window, IDC_FILE, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&text));
    SendDlgItemMessageW(window, IDC_KEYFILE, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&text));
}

void move_to_default_position(HWND window) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    WNDCLASSW probe_class = {};
    probe_class.lpfnWndProc = DefWindowProcW;
    probe_class.hInstance = instance;
    probe_class.lpszClassName = L"DefPos";
    if (RegisterClassW(&probe_class) == 0) return;
    RECT outer;
    GetWindowRect(window, &outer);
    HWND probe = CreateWindowExW(0, L"DefPos", L"DefPos", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                 outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, instance,
                                 nullptr);
    if (probe != nullptr) {
        RECT placed;
        GetWindowRect(probe, &placed);
        DestroyWindow(probe);
        SetWindowPos(window, nullptr, placed.left, placed.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    UnregisterClassW(L"DefPos", instance);
}

void center_window(HWND window, HWND reference) {
    RECT outer, area;
    GetWindowRect(window, &outer);
    if (reference != nullptr)
        GetWindowRect(reference, &area);
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const Point p = centred_position({outer.left, outer.top, outer.right, outer.bottom},
                                     {area.left, area.top, area.right, area.bottom});
    SetWindowPos(window, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (reference == nullptr) return;
    SendMessageW(window, DM_REPOSITION, 0, 0);
    // Not every system honours DM_REPOSITION (Wine does not); make sure.
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    GetWindowRect(window, &outer);
    const RECT& work = monitor.rcWork;
    const Point inside = kept_inside({outer.left, outer.top, outer.right, outer.bottom},
                                     {work.left, work.top, work.right, work.bottom});
    if (inside.x != outer.left || inside.y != outer.top)
        SetWindowPos(window, nullptr, inside.x, inside.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace corvane::ui

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR command_line, int) {
    using namespace corvane::ui;
    AppState& state = app_state();
    state.instance = instance;
    state.process_id = GetCurrentProcessId();
    if (command_line != nullptr && command_line[0] != L'\0')
        command_line_path(reinterpret_cast<const char16_t*>(command_line), state.pick_path);

    INITCOMMONCONTROLSEX controls = {8, 0xFF};
    if (!InitCommonControlsEx(&controls)) return 0;
    // For the taskbar progress, the shell's file dialogs and OLE drops; all
    // work without it but the last.
    const HRESULT com = OleInitialize(nullptr);

    HWND window = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, main_window_proc,
                                     reinterpret_cast<LPARAM>(&state));
    if (window == nullptr) {
        if (SUCCEEDED(com)) OleUninitialize();
        return 0;
    }
    state.main_window = window;
    ShowWindow(window, SW_SHOWNORMAL);
    if (state.pick_path[0] != u'\0') inspect_file(1);

    const int exit_code = run_message_loop(state);
    if (SUCCEEDED(com)) OleUninitialize();
    return exit_code;
}
