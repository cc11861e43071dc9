// The engine's working record for one job, and the operations that open a
// container or a plain source, build and write a new header, and hold and
// release a job's buffers and handles.
#pragma once

#include <cstdint>

#include "engine/cipher/cipher_state.h"
#include "engine/container/container_header.h"
#include "engine/container/meter.h"
#include "engine/container/status.h"
#include "platform/platform.h"

namespace corvane {

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
    // The system's reason for the failure in status, when a system call failed.
    platform::ErrorCode system_error = 0;
    // The job ended on a cancel and kept nothing (status stays ok).
    bool cancelled = false;
};

// Stores a nonzero code in status unless one is already there, and returns
// the code that stands.
StatusCode fail(JobContext& job, StatusCode code);
// The same after a failed system call: the system's reason, read at once,
// stays with the first error.
StatusCode fail_system(JobContext& job, StatusCode code);
// A job's first step: no status, no reason and no cancel left from the last job.
void begin_job(JobContext& job);

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

}  // namespace corvane
