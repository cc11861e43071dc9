// The engine's working record for one job, and the operations that open a
// container or a plain source, build and write a new header, and hold and
// release a job's buffers and handles.
#pragma once

#include <cstdint>

#include "engine/cipher/cipher_state.h"
#include "engine/container/container_header.h"
#include "engine/container/status.h"
#include "platform/platform.h"

namespace corvane {

struct ProgressMeter;
// Called after every meter update; the jobs layer installs its throttled report.
using ReportFn = void (*)(ProgressMeter& meter);

// The job's progress figures. Written only by the worker; a front end reads it
// while the worker waits in the report.
struct ProgressMeter {
    std::uint64_t total_bytes = 0;
    double total_mib = 0;
    std::uint64_t done_bytes = 0;
    double done_mib = 0;
    double fraction = 0;
    std::uint32_t last_tick = 0;
    std::uint32_t paused_ms = 0;
    double elapsed = 0;
    double remaining = 0;
    double speed = 0;
    ReportFn report = nullptr;
    void* owner = nullptr;  // the front end's sink; opaque to the engine
};

struct JobContext {
    StatusCode status = StatusCode::ok;
    RunStateCell run_state;
    ProgressMeter meter;
    std::uint32_t format_version = 0;
    ContainerHeader header;
    CipherState cipher;
    std::uint32_t plain_sum = 0;
    std::uint32_t buffer_size = 0;
    std::uint8_t* block_buffer = nullptr;
    std::uint8_t* spare_buffer = nullptr;
    std::uint32_t* jumble_map = nullptr;
    std::uint8_t* pad_buffer = nullptr;
    std::uint8_t short_buffer[SHORT_FILE_SIZE] = {};
    platform::FileHandle source_handle = platform::INVALID_FILE;
    platform::FileHandle output_handle = platform::INVALID_FILE;
    platform::FileHandle keyfile_handle = platform::INVALID_FILE;
    std::uint32_t block_reported = 0;
};

// Stores a nonzero code in status unless one is already there, and returns
// the code that stands.
StatusCode fail(JobContext& job, StatusCode code);

[[nodiscard]] StatusCode open_container(JobContext& job, const char16_t* path);
[[nodiscard]] StatusCode open_source(JobContext& job, const char16_t* path);

[[nodiscard]] std::uint32_t choose_block_size(std::uint32_t requested, std::uint64_t file_size);
// hint and file_name are NUL-terminated UTF-16 or null.
void fill_header(JobContext& job, std::uint32_t jumble_rounds, std::uint32_t requested_block_size,
                 const char16_t* hint, const char16_t* file_name);
void seal_header(JobContext& job);
[[nodiscard]] StatusCode write_header(JobContext& job);

[[nodiscard]] StatusCode allocate_buffers(JobContext& job, std::uint32_t size, bool permute, bool keyfile_open);
void release_job(JobContext& job);

// --- Progress and job control, as the worker sees them ---------------------

// Adds n processed bytes and recomputes the figures, then calls meter.report.
void meter_advance(JobContext& job, std::uint32_t n);

// The poll at every poll point: waits in 500 ms steps while Paused (counting
// them in meter.paused_ms), then returns false when the job is Cancelling.
[[nodiscard]] bool poll_run_state(JobContext& job);

// The clock the meter and the pause wait use; tests replace it.
struct JobClock {
    std::uint32_t (*tick_ms)() = &platform::tick_ms;
    void (*sleep_ms)(std::uint32_t) = &platform::sleep_ms;
};
JobClock& job_clock();

}  // namespace corvane
