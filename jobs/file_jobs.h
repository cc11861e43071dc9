// The encrypt, decrypt and test jobs: the order of the engine steps around
// the files. Every driver writes to a temporary file in the output's folder
// and moves it over the output only on success, so a failed or cancelled job
// never destroys a file that stood at the output path.
#pragma once

#include <cstdint>

#include "engine/container/job_context.h"
#include "jobs/progress.h"

namespace corvane {

inline constexpr std::uint64_t FREE_SPACE_RESERVE = 1048576;
inline constexpr std::uint32_t STREAM_BLOCK_LIMIT = 262144;
inline constexpr std::uint32_t RESTORE_ATTRIBUTE_MASK = 0x2027;

inline constexpr std::uint32_t DEFAULT_BLOCK_SIZE = 524288;
inline constexpr std::uint32_t DEFAULT_JUMBLE_ROUNDS = 7;

// The block size an encryption asks for: a Stream container (0 rounds) asks
// for at most STREAM_BLOCK_LIMIT. Both front ends use it.
[[nodiscard]] std::uint32_t requested_block_size(std::uint32_t block_size, std::uint32_t jumble_rounds);

// Paths are NUL-terminated UTF-16; keyfile, password and hint may be null.
// Each returns the final status, also left in job.status. A cancel (run_state
// Cancelling) returns ok and leaves no output.
StatusCode decrypt_file(JobContext& job, const char16_t* container, const char16_t* output,
                        const char16_t* keyfile, const char16_t* password, ProgressSink* owner);
StatusCode encrypt_file(JobContext& job, const char16_t* source, const char16_t* output,
                        const char16_t* keyfile, const char16_t* password, const char16_t* hint,
                        std::uint32_t block_size, std::uint32_t jumble_rounds, ProgressSink* owner);
StatusCode test_file(JobContext& job, const char16_t* container, ProgressSink* owner);

}  // namespace corvane
