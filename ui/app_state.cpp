#include "ui/app_state.h"

#include <cstdlib>

#include "engine/container/bytes.h"
#include "platform/platform.h"

namespace corvane::ui {

namespace {

void exit_teardown() { teardown_app_state(); }

std::uint8_t* put_word(std::uint8_t* p, std::uint64_t value) {
    store64_le(p, value);
    return p + 8;
}

std::uint64_t handle_word(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace

AppState& app_state() {
    static AppState state;
    // Registered after the record exists, so it runs before anything that
    // could outlive it.
    static const bool registered = std::atexit(&exit_teardown) == 0;
    (void)registered;
    return state;
}

void wipe_password_fields(AppState& state) {
    platform::secure_wipe(state.password, sizeof state.password);
    platform::secure_wipe(state.confirm, sizeof state.confirm);
    platform::secure_wipe(state.hint, sizeof state.hint);
}

void wipe_paths(AppState& state) {
    platform::secure_wipe(state.pick_path, sizeof state.pick_path);
    platform::secure_wipe(state.source_path, sizeof state.source_path);
    platform::secure_wipe(state.output_path, sizeof state.output_path);
    platform::secure_wipe(state.keyfile_path, sizeof state.keyfile_path);
}

void teardown_app_state(AppState& state) {
    platform::secure_wipe(state.job.header.bytes.data(), state.job.header.bytes.size());
    release_job(state.job);
}

void teardown_app_state() { teardown_app_state(app_state()); }

std::uint32_t compute_job_token(const AppState& state) {
    std::uint8_t image[80];
    std::uint8_t* p = image;
    p = put_word(p, handle_word(state.instance));
    p = put_word(p, state.process_id);
    p = put_word(p, handle_word(state.main_window));
    p = put_word(p, handle_word(state.focus_edit));
    p = put_word(p, handle_word(state.progress_window));
    p = put_word(p, handle_word(state.confirm_window));
    p = put_word(p, handle_word(state.file_edit));
    p = put_word(p, handle_word(state.keyfile_edit));
    p = put_word(p, handle_word(state.worker_thread));
    store32_le(p, state.worker_thread_id);
    store32_le(p + 4, state.job_token);
    return rot_sum(image, sizeof image);
}

}  // namespace corvane::ui
