// The progress dialog around a job, its cancel confirmation, the worker
// entries and the taskbar progress of the main window.
#include "ui/desktop_win32.h"

#include <process.h>
#include <shobjidl.h>
#include <commctrl.h>

#include "jobs/file_jobs.h"
#include "resources/resource.h"
#include "ui/format.h"
#include "ui/messages.h"
#include "ui/progress_dialog.h"

namespace corvane::ui {

namespace {

// --- Taskbar ---------------------------------------------------------------

// The main window's taskbar button mirrors the job; absent where the shell
// does not offer the interface.
class TaskbarProgress {
public:
    explicit TaskbarProgress(HWND window) : window_(window) {
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                    reinterpret_cast<void**>(&list_))) ||
            list_ == nullptr || FAILED(list_->HrInit())) {
            release();
        }
    }
    ~TaskbarProgress() {
        state(TBPF_NOPROGRESS);
        release();
    }
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    void state(TBPFLAG flag) {
        if (list_ != nullptr) list_->SetProgressState(window_, flag);
    }
    void position(int percent) {
        if (list_ != nullptr) list_->SetProgressValue(window_, static_cast<ULONGLONG>(percent), 100);
    }

private:
    void release() {
        if (list_ != nullptr) list_->Release();
        list_ = nullptr;
    }
    HWND window_;
    ITaskbarList3* list_ = nullptr;
};

// --- Progress dialog -------------------------------------------------------

struct ProgressUnit;

class DialogHost : public ProgressHost {
public:
    explicit DialogHost(ProgressUnit& unit) : unit_(unit) {}
    void show(const ProgressDisplay& display) override;
    void show_status_message(StatusCode status) override;
    bool confirm_cancel() override;
    void post_close() override;
    void close_confirmation() override;
    void end_dialog() override;

private:
    ProgressUnit& unit_;
};

struct ProgressUnit {
    ProgressUnit(AppState& s, std::uint32_t kind) : state(s), job_kind(kind), host(*this), control(s, host) {}
    AppState& state;
    std::uint32_t job_kind;
    HWND dialog = nullptr;
    DialogHost host;
    ProgressControl control;
    TaskbarProgress* taskbar = nullptr;
};

void set_figure(ProgressUnit& unit, int id, const char16_t* text) {
    // Two trailing spaces keep right-aligned figures off the dialog's edge.
    char16_t* scratch = unit.state.scratch_text;
    std::size_t n = 0;
    if (text != scratch)
        while (text[n] != u'\0' && n + 3 < SCRATCH_UNITS) scratch[n] = text[n], ++n;
    else
        while (scratch[n] != u'\0') ++n;
    scratch[n++] = u' ';
    scratch[n++] = u' ';
    scratch[n] = u'\0';
    SetDlgItemTextW(unit.dialog, id, wide(scratch));
}

void mark_taskbar(ProgressUnit& unit, TaskbarMark mark) {
    if (unit.taskbar == nullptr) return;
    switch (mark) {
    case TaskbarMark::none: unit.taskbar->state(TBPF_NOPROGRESS); break;
    case TaskbarMark::normal: unit.taskbar->state(TBPF_NORMAL); break;
    case TaskbarMark::paused: unit.taskbar->state(TBPF_PAUSED); break;
    case TaskbarMark::error: unit.taskbar->state(TBPF_ERROR); break;
    }
}

void DialogHost::show(const ProgressDisplay& display) {
    HWND dialog = unit_.dialog;
    HWND first = GetDlgItem(dialog, IDOK);
    HWND second = GetDlgItem(dialog, IDCANCEL);
    if (display.status != nullptr) SetDlgItemTextW(dialog, IDC_STATUS, wide(display.status));
    if (display.button1 != nullptr) SetWindowTextW(first, wide(display.button1));
    if (display.button2 != nullptr) SetWindowTextW(second, wide(display.button2));
    if (display.hide_button1) {
        // Keep the keyboard on a visible button.
        if (GetFocus() == first) SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(second), TRUE);
        ShowWindow(first, SW_HIDE);
    }
    if (display.disable_buttons) {
        EnableWindow(first, FALSE);
        EnableWindow(second, FALSE);
    }
    mark_taskbar(unit_, display.taskbar);
}

void DialogHost::show_status_message(StatusCode status) {
    HWND owner = unit_.state.confirm_window != nullptr ? window_of(unit_.state.confirm_window) : unit_.dialog;
    message_dialog(owner, status);
}

INT_PTR CALLBACK confirm_cancel_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

bool DialogHost::confirm_cancel() {
    return DialogBoxParamW(static_cast<HINSTANCE>(unit_.state.instance), MAKEINTRESOURCEW(IDD_CONFIRM_CANCEL),
                           unit_.dialog, confirm_cancel_proc, reinterpret_cast<LPARAM>(&unit_.state)) == IDYES;
}

void DialogHost::post_close() { PostMessageW(unit_.dialog, WM_CLOSE, 0, 0); }

void DialogHost::close_confirmation() {
    if (unit_.state.confirm_window != nullptr) PostMessageW(window_of(unit_.state.confirm_window), WM_CLOSE, 0, 0);
}

void DialogHost::end_dialog() { EndDialog(unit_.dialog, 0); }

using WorkerEntry = unsigned(__stdcall*)(void*);

WorkerEntry worker_for(std::uint32_t job_kind) {
    switch (job_kind) {
    case JOB_TEST: return &run_test_job;
    case JOB_DECRYPT: return &run_decrypt_job;
    case JOB_ENCRYPT: return &run_encrypt_job;
    default: return nullptr;
    }
}

void progress_init(ProgressUnit& unit, HWND dialog) {
    AppState& state = unit.state;
    unit.dialog = dialog;
    if (state.job.run_state.load() != RunState::idle) {
        EndDialog(dialog, 0);
        return;
    }
    set_figure(unit, IDC_SIZE_TEXT, format_size(state.scratch_text, state.job.header.file_size()));
    PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDOK)), TRUE);
    if (state.worker_thread != nullptr) {
        CloseHandle(state.worker_thread);
        state.worker_thread = nullptr;
    }
    unit.control.begin(dialog);
    mark_taskbar(unit, TaskbarMark::normal);
    if (unit.taskbar != nullptr) unit.taskbar->position(0);

    if (WorkerEntry entry = worker_for(unit.job_kind); entry != nullptr) {
        unsigned thread_id = 0;
        const std::uintptr_t thread = _beginthreadex(nullptr, 0, entry, &state, 0, &thread_id);
        if (thread != 0) {
            state.worker_thread = reinterpret_cast<HANDLE>(thread);
            state.worker_thread_id = thread_id;
        }
    }
    ShowWindow(dialog, SW_SHOW);
    center_window(dialog, GetParent(dialog));
    if (state.worker_thread == nullptr) {
        mark_taskbar(unit, TaskbarMark::error);
        unit.control.thread_failed();
    }
}

void progress_report(ProgressUnit& unit, const ProgressMeter& meter) {
    char16_t* scratch = unit.state.scratch_text;
    set_figure(unit, IDC_ELAPSED, format_duration(scratch, meter.elapsed));
    set_figure(unit, IDC_REMAINING, format_duration(scratch, meter.remaining));
    set_figure(unit, IDC_SPEED, format_speed(scratch, meter.speed));
    const int position = progress_position(meter.fraction);
    SendDlgItemMessageW(unit.dialog, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    if (unit.taskbar != nullptr) unit.taskbar->position(position);
}

void progress_status(ProgressUnit& unit, WPARAM what, LPARAM detail) {
    if (what == PROGRESS_REPORT) {
        if (detail != 0) progress_report(unit, *reinterpret_cast<const ProgressMeter*>(detail));
        return;
    }
    if (what > static_cast<WPARAM>(JobKind::testing)) return;
    const MessageText start = job_start_text(static_cast<JobKind>(what));
    SetWindowTextW(unit.dialog, wide(start.title));
    SetDlgItemTextW(unit.dialog, IDC_STATUS, wide(start.text));
}

INT_PTR progress_dispatch(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    ProgressUnit* unit = dialog_record<ProgressUnit>(dialog, message, lparam);
    if (unit == nullptr) return FALSE;
    switch (message) {
    case WM_INITDIALOG: progress_init(*unit, dialog); return FALSE;
    case WM_JOB_STATUS: progress_status(*unit, wparam, lparam); return TRUE;
    case WM_JOB_DONE:
        unit->control.job_done(static_cast<std::uint32_t>(wparam), static_cast<std::uint32_t>(lparam));
        return TRUE;
    case WM_CLOSE: unit->control.request_close(); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK: unit->control.toggle_pause(); return TRUE;
        case IDCANCEL: PostMessageW(dialog, WM_CLOSE, 0, 0); return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

INT_PTR CALLBACK progress_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    return guarded([&] { return progress_dispatch(dialog, message, wparam, lparam); });
}

// --- Cancel confirmation ---------------------------------------------------

void confirm_end(AppState& state, HWND dialog, INT_PTR answer) {
    state.confirm_window = nullptr;
    EndDialog(dialog, answer);
}

INT_PTR confirm_dispatch(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    AppState* state = dialog_record<AppState>(dialog, message, lparam);
    if (state == nullptr) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        state->confirm_window = dialog;
        ShowWindow(dialog, SW_SHOW);
        center_window(dialog, GetParent(dialog));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK: confirm_end(*state, dialog, IDYES); return TRUE;
        case IDCANCEL: PostMessageW(dialog, WM_CLOSE, 0, 0); return TRUE;
        default: return FALSE;
        }
    case WM_CLOSE: confirm_end(*state, dialog, IDNO); return TRUE;
    case WM_DESTROY: state->confirm_window = nullptr; return TRUE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK confirm_cancel_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    return guarded([&] { return confirm_dispatch(dialog, message, wparam, lparam); });
}

// --- Worker ----------------------------------------------------------------

// Hands the meter to the progress dialog; the worker waits while the dialog
// reads it, at most a second, and not at all when the dialog's thread hangs.
constexpr UINT REPORT_TIMEOUT_MS = 1000;

class DialogProgressSink : public ProgressSink {
public:
    explicit DialogProgressSink(AppState& state) : state_(state) {}
    void on_progress(const ProgressMeter& meter) override {
        SendMessageTimeoutW(window_of(state_.progress_window), WM_JOB_STATUS, PROGRESS_REPORT,
                            reinterpret_cast<LPARAM>(&meter), SMTO_ABORTIFHUNG, REPORT_TIMEOUT_MS, nullptr);
    }

private:
    AppState& state_;
};

void notify(AppState& state, UINT message, WPARAM wparam, LPARAM lparam) {
    SendNotifyMessageW(window_of(state.progress_window), message, wparam, lparam);
}

void notify_start(AppState& state, JobKind kind) { notify(state, WM_JOB_STATUS, static_cast<WPARAM>(kind), 0); }

void notify_end(AppState& state, JobKind kind, StatusCode status) {
    notify(state, WM_JOB_DONE, state.job_token, completion_kind(kind, status));
}

const char16_t* keyfile_of(const AppState& state) {
    return state.use_keyfile != 0 && state.keyfile_path[0] != u'\0' ? state.keyfile_path : nullptr;
}

}  // namespace

INT_PTR progress_dialog(HWND owner, std::uint32_t job_kind) {
    AppState& state = app_state();
    ProgressUnit unit(state, job_kind);
    TaskbarProgress taskbar(window_of(state.main_window));
    unit.taskbar = &taskbar;
    return DialogBoxParamW(static_cast<HINSTANCE>(state.instance), MAKEINTRESOURCEW(IDD_PROGRESS), owner, progress_proc,
                           reinterpret_cast<LPARAM>(&unit));
}

unsigned __stdcall run_decrypt_job(void* argument) {
    AppState& state = *static_cast<AppState*>(argument);
    notify_start(state, JobKind::decrypting);
    DialogProgressSink sink(state);
    const StatusCode status =
        decrypt_file(state.job, state.source_path, state.output_path, keyfile_of(state), state.password, &sink);
    notify_end(state, JobKind::decrypting, status);
    return 0;
}

unsigned __stdcall run_encrypt_job(void* argument) {
    AppState& state = *static_cast<AppState*>(argument);
    notify_start(state, JobKind::encrypting);
    DialogProgressSink sink(state);
    const StatusCode status = encrypt_file(state.job, state.source_path, state.output_path, keyfile_of(state),
                                           state.password, state.hint,
                                           requested_block_size(state.block_size, state.jumble_rounds),
                                           state.jumble_rounds, &sink);
    notify_end(state, JobKind::encrypting, status);
    return 0;
}

unsigned __stdcall run_test_job(void* argument) {
    AppState& state = *static_cast<AppState*>(argument);
    notify_start(state, JobKind::testing);
    DialogProgressSink sink(state);
    const StatusCode status = test_file(state.job, state.source_path, &sink);
    notify_end(state, JobKind::testing, status);
    return 0;
}

}  // namespace corvane::ui
