#include "ui/progress_dialog.h"

#include "ui/messages.h"

namespace corvane::ui {

ProgressDisplay running_display() {
    return {u"Continuing...", u"&Pause", nullptr, false, false, TaskbarMark::normal};
}
ProgressDisplay paused_display() { return {u"Paused", u"&Continue", nullptr, false, false, TaskbarMark::paused}; }
ProgressDisplay cancelling_display() {
    return {u"Cancelling...", nullptr, nullptr, true, true, TaskbarMark::paused};
}
ProgressDisplay finished_display(std::uint32_t completion_kind) {
    // Odd completion kinds are the failures.
    const TaskbarMark mark = completion_kind % 2 == 1 ? TaskbarMark::error : TaskbarMark::none;
    return {job_result_text(completion_kind), u"Close", u"Close", true, false, mark};
}

bool ProgressControl::begin(void* dialog) {
    if (state_.job.run_state.load() != RunState::idle) return false;
    state_.progress_window = dialog;
    state_.job.run_state.store(RunState::running);
    state_.job_token = compute_job_token(state_);
    return true;
}

void ProgressControl::thread_failed() {
    state_.job.run_state.store(RunState::idle);
    host_.show_status_message(StatusCode::no_thread);
    host_.post_close();
}

void ProgressControl::set_run_state(RunState next, std::uint32_t completion_kind) {
    switch (state_.job.run_state.load()) {
    case RunState::idle:
        if (next == RunState::cancelling) host_.post_close();
        return;
    case RunState::closing:
    case RunState::closed: return;
    case RunState::cancelling:
        if (next == RunState::idle) {
            host_.post_close();
            state_.job.run_state.store(RunState::idle);
        }
        return;
    case RunState::running:
    case RunState::paused: break;
    }
    switch (next) {
    case RunState::idle:
        host_.show(finished_display(completion_kind));
        wipe_password_fields(state_);
        if (state_.mode == MODE_PLAIN && state_.job.status == StatusCode::ok) state_.mode = MODE_ENCRYPTED;
        // The state stays Running or Paused while the message is up.
        if (state_.job.status != StatusCode::ok) host_.show_status_message(state_.job.status);
        break;
    case RunState::running: host_.show(running_display()); break;
    case RunState::paused: host_.show(paused_display()); break;
    case RunState::cancelling: host_.show(cancelling_display()); break;
    case RunState::closing:
    case RunState::closed: break;
    }
    state_.job.run_state.store(next);
}

void ProgressControl::toggle_pause() {
    switch (state_.job.run_state.load()) {
    case RunState::idle: host_.post_close(); break;
    case RunState::running:
        host_.show(paused_display());
        state_.job.run_state.store(RunState::paused);
        break;
    case RunState::paused:
        host_.show(running_display());
        state_.job.run_state.store(RunState::running);
        break;
    case RunState::closing:
    case RunState::closed:
    case RunState::cancelling: break;
    }
}

void ProgressControl::confirmed_cancel() {
    // The job may have ended while the question was open.
    switch (state_.job.run_state.load()) {
    case RunState::idle: host_.post_close(); break;
    case RunState::closing:
    case RunState::closed:
    case RunState::cancelling: break;
    case RunState::running:
    case RunState::paused:
        host_.show(cancelling_display());
        state_.job.run_state.store(RunState::cancelling);
        break;
    }
}

void ProgressControl::request_close() {
    switch (state_.job.run_state.load()) {
    case RunState::idle:
        host_.close_confirmation();
        host_.end_dialog();
        return;
    case RunState::running:
        // The worker waits at its next poll point while the user decides.
        toggle_pause();
        if (host_.confirm_cancel()) confirmed_cancel();
        if (state_.job.run_state.load() == RunState::paused) toggle_pause();
        return;
    case RunState::paused:
        if (host_.confirm_cancel()) confirmed_cancel();
        return;
    case RunState::closing:
    case RunState::closed:
    case RunState::cancelling: return;
    }
}

void ProgressControl::job_done(std::uint32_t token, std::uint32_t completion_kind) {
    if (token != state_.job_token) return;
    set_run_state(RunState::idle, completion_kind);
}

}  // namespace corvane::ui
