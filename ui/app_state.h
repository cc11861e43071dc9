// The one record the user interface and the jobs share for the life of the
// process: paths, password fields, options, the window and thread handles the
// job messages need, and the job context.
//
// Handles are held as opaque pointers so the record compiles everywhere; the
// Win32 code casts them to HWND, HINSTANCE and HANDLE.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/cipher/key_schedule.h"
#include "engine/container/job_context.h"
#include "jobs/file_jobs.h"
#include "jobs/paths.h"

namespace corvane::ui {

inline constexpr const char16_t* APP_TITLE = u"Corvane";

// The password and hint fields, with room for the NUL.
inline constexpr std::size_t PASSWORD_FIELD_UNITS = PASSWORD_UNITS + 1;
inline constexpr std::size_t HINT_FIELD_UNITS = HINT_UNITS + 1;
inline constexpr std::size_t SCRATCH_UNITS = 512;

// What the main window shows (AppState::mode).
inline constexpr std::int32_t MODE_NOTHING = 0;
inline constexpr std::int32_t MODE_CONTAINER = 1;
inline constexpr std::int32_t MODE_PLAIN = 2;
inline constexpr std::int32_t MODE_ENCRYPTED = 3;  // the shown plain file was just encrypted

struct AppState {
    const char16_t* title = APP_TITLE;
    void* instance = nullptr;
    std::uint32_t process_id = 0;
    void* main_window = nullptr;
    void* focus_edit = nullptr;
    void* progress_window = nullptr;
    void* confirm_window = nullptr;
    void* file_edit = nullptr;
    void* keyfile_edit = nullptr;
    void* worker_thread = nullptr;
    std::uint32_t worker_thread_id = 0;
    std::uint32_t job_token = 0;
    std::int32_t mode = MODE_NOTHING;
    std::uint32_t block_size = DEFAULT_BLOCK_SIZE;
    std::uint32_t jumble_rounds = DEFAULT_JUMBLE_ROUNDS;
    std::uint32_t use_keyfile = 0;
    char16_t pick_path[PATH_FIELD_UNITS] = {};
    char16_t source_path[PATH_FIELD_UNITS] = {};
    char16_t output_path[PATH_FIELD_UNITS] = {};
    char16_t keyfile_path[PATH_FIELD_UNITS] = {};
    char16_t password[PASSWORD_FIELD_UNITS] = {};
    char16_t confirm[PASSWORD_FIELD_UNITS] = {};
    char16_t hint[HINT_FIELD_UNITS] = {};
    JobContext job;
    char16_t scratch_text[SCRATCH_UNITS] = {};
};

// The process's record, created with its defaults on first use; the first
// call also registers teardown_app_state to run at exit.
AppState& app_state();

// Overwrites password, confirm and hint with zeros.
void wipe_password_fields(AppState& state);
// Overwrites pick_path, source_path, output_path and keyfile_path with zeros.
void wipe_paths(AppState& state);

// Zeroes the job's header image and releases whatever a job left (buffers,
// handles). Harmless when repeated.
void teardown_app_state(AppState& state);
// The same on the process's record; entry points call it after their loop.
void teardown_app_state();

// The job token for the job about to start: RotSum over instance, process_id
// (widened to 8 bytes), main_window, focus_edit, progress_window,
// confirm_window, file_edit, keyfile_edit, worker_thread, worker_thread_id and
// job_token, handles as 8 little-endian bytes. The caller stores it in job_token.
[[nodiscard]] std::uint32_t compute_job_token(const AppState& state);

}  // namespace corvane::ui
