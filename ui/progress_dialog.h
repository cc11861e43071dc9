// The run-state machine of the progress dialog: Pause/Continue, the confirmed
// Cancel, the job's end and every close request. The window layer supplies
// the effects through ProgressHost; the decisions are made here.
#pragma once

#include <cstdint>

#include "engine/container/status.h"
#include "ui/app_state.h"

namespace corvane::ui {

// The progress dialog's job kinds (its start parameter).
inline constexpr std::uint32_t JOB_TEST = 0;
inline constexpr std::uint32_t JOB_DECRYPT = 1;
inline constexpr std::uint32_t JOB_ENCRYPT = 2;

// How the main window's taskbar button shows the job.
enum class TaskbarMark { none, normal, paused, error };

// What the dialog's buttons and status line show; a null text is left as it is.
struct ProgressDisplay {
    const char16_t* status;
    const char16_t* button1;
    const char16_t* button2;
    bool hide_button1;
    bool disable_buttons;
    TaskbarMark taskbar;
};
[[nodiscard]] ProgressDisplay running_display();
[[nodiscard]] ProgressDisplay paused_display();
[[nodiscard]] ProgressDisplay cancelling_display();
[[nodiscard]] ProgressDisplay finished_display(std::uint32_t completion_kind);


// The effects the window layer carries out.
class ProgressHost {
public:
    virtual ~ProgressHost() = default;
    virtual void show(const ProgressDisplay& display) = 0;
    // The message for status, modal, over the confirmation when it is open;
    // returns when the user has closed it.
    virtual void show_status_message(StatusCode status) = 0;
    // The cancel confirmation, modal; true when answered Yes.
    virtual bool confirm_cancel() = 0;
    virtual void post_close() = 0;               // WM_CLOSE to the progress dialog
    virtual void close_confirmation() = 0;       // WM_CLOSE to the confirmation, if open
    virtual void end_dialog() = 0;
};

class ProgressControl {
public:
    ProgressControl(AppState& state, ProgressHost& host) : state_(state), host_(host) {}

    // A job may start only from Idle; then the state is Running, the dialog is
    // the target of the job's messages and a fresh token is in job_token.
    // Returns false (nothing changed) when a job is already under way.
    bool begin(void* dialog);
    // The worker could not be started: back to Idle, message 11, close.
    void thread_failed();

    void set_run_state(RunState next, std::uint32_t completion_kind);
    void toggle_pause();
    void request_close();
    // WM_JOB_DONE: acted on only with the current job's token.
    void job_done(std::uint32_t token, std::uint32_t completion_kind);

private:
    void confirmed_cancel();

    AppState& state_;
    ProgressHost& host_;
};

}  // namespace corvane::ui
