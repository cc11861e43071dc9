// A platform layer for tests that makes the k-th call of one operation fail
// or come short, and counts what the engine and the jobs did: calls per
// operation, handles opened and closed, and teardowns of one job. It forwards
// everything else to the real POSIX layer, compiled into the same program
// under the namespace corvane::platform_real.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::faults {

enum class Op : int {
    open_read,
    create_write,
    create_new,
    read,
    write,
    seek,
    file_facts,
    set_write_time,
    set_attributes,
    replace_file,
    free_space,
    finish_file,
    move_new,
    count_  // number of operations
};

const char* op_name(Op op);

enum class Mode : int {
    fail,         // the call reports failure
    short_count,  // reads and writes move half the bytes asked for and report success
};

// What happened when the planned fault fired.
struct Fired {
    bool fired = false;
    Op op = Op::read;
    Mode mode = Mode::fail;
    std::u16string path;      // the file the call was about (by path or by handle)
    std::uint32_t count = 0;  // bytes asked for (read, write)
};

// Fails the k-th call (1-based) of op from now on; counts restart.
void arm(Op op, std::uint32_t k, Mode mode);
// No fault; counts restart.
void disarm();
[[nodiscard]] const Fired& fired();

[[nodiscard]] std::uint32_t calls(Op op);
[[nodiscard]] int handles_opened();
[[nodiscard]] int handles_closed();
// Handles that are open now, of those opened since the last arm or disarm.
[[nodiscard]] int handles_open();

// release_job wipes the job's 32-byte short block exactly once per teardown,
// and nothing else wipes it: counting those wipes counts teardowns.
void watch_teardown(const void* short_buffer, std::size_t size);
[[nodiscard]] int teardowns();

}  // namespace corvane::faults
