// The result codes of every engine and job operation, and the run state
// through which the user interface steers a running job. The numbers are part
// of the product: front ends choose their messages by them.
#pragma once

#include <atomic>
#include <cstdint>

namespace corvane {

enum class StatusCode : std::int32_t {
    ok = 0,
    no_memory = 7,          // a buffer cannot be allocated
    no_thread = 11,         // the worker thread cannot be started (front end)
    no_window = 12,         // a window cannot be created (front end)
    open_failed = 14,       // a file cannot be opened or its facts read
    read_failed = 15,       // a read failed, or the key file cannot be rewound
    create_failed = 16,     // the output cannot be created, or no output path
    write_failed = 17,      // a write failed or came short, or the time cannot be set
    disk_full = 18,         // not enough free space for the output
    not_container = 19,     // wrong magic, unknown version, header too short
    unsupported = 20,       // a header value beyond this version's limits
    damaged = 21,           // a checksum or structure failure
    truncated = 23,         // the file ended early, or the source changed size
    wrong_key = 35,         // wrong password and/or key file
    confirm_mismatch = 36,  // password and confirmation differ (front end)
};

[[nodiscard]] constexpr std::int32_t to_int(StatusCode code) { return static_cast<std::int32_t>(code); }

enum class RunState : std::uint32_t {
    idle = 0,
    closing = 1,
    closed = 2,
    running = 3,
    paused = 4,
    cancelling = 5,
};

// A single 32-bit value written whole by the user-interface thread and read
// whole by the worker at its poll points; no ordering beyond that is needed.
class RunStateCell {
public:
    [[nodiscard]] RunState load() const { return value_.load(std::memory_order_relaxed); }
    void store(RunState state) { value_.store(state, std::memory_order_relaxed); }

private:
    std::atomic<RunState> value_{RunState::idle};
};
static_assert(sizeof(RunStateCell) == 4);

}  // namespace corvane
