// The encrypt, decrypt and test jobs: the order of the engine steps around
// the files. Every driver writes to a temporary file in the output's folder,
// readable by its owner only, and moves it to the output only on success,
// once its data is on the disk, so a failed or cancelled job never destroys a
// file that stood at the output path, and a killed one leaves only the
// temporary ".NAME.XXXXXXXX.tmp".
#pragma once

#include <cstdint>

#include "engine/container/job_context.h"
#include "jobs/job_kind.h"

namespace corvane {

inline constexpr std::uint64_t FREE_SPACE_RESERVE = 1048576;
inline constexpr std::uint32_t STREAM_BLOCK_LIMIT = 262144;
inline constexpr std::uint32_t RESTORE_ATTRIBUTE_MASK = 0x2027;

inline constexpr std::uint32_t DEFAULT_BLOCK_SIZE = 524288;
inline constexpr std::uint32_t DEFAULT_JUMBLE_ROUNDS = 7;

// The block size an encryption asks for: a Stream container (0 rounds) asks
// for at most STREAM_BLOCK_LIMIT. Both front ends use it.
[[nodiscard]] std::uint32_t requested_block_size(std::uint32_t block_size, std::uint32_t jumble_rounds);

// Free space the encryption of size bytes in blocks of block_size must leave
// beyond the container itself: 1 MiB plus 1 MiB per 65536 blocks (blocks of
// less than 32768 bytes count as 32768).
[[nodiscard]] std::uint64_t encrypt_space_reserve(std::uint64_t size, std::uint32_t block_size);

// True when free bytes hold size bytes and still leave reserve.
[[nodiscard]] constexpr bool has_room(std::uint64_t free, std::uint64_t size, std::uint64_t reserve) {
    return free >= size && free - size >= reserve;
}

// The free-space query the drivers use; tests replace it to simulate a full or
// failing volume. A failed query counts as not enough space.
using FreeSpaceFn = bool (*)(const char16_t* directory, std::uint64_t* bytes);
FreeSpaceFn& free_space_query();

// Whether a job may replace a file that stands at its output: the desktop's
// Save dialog has asked, the command line replaces only when told to.
enum class Overwrite { refuse, replace };

// Paths are NUL-terminated UTF-16; keyfile, password and hint may be null.
// Each returns the final status, also left in job.status, with the system's
// reason in job.system_error where a system call failed. A cancel (run_state
// Cancelling) returns ok, sets job.cancelled and leaves no output. An output
// path that names the source or the key file is refused with create_failed
// before anything opens; so is one where something other than a regular file
// or a link stands, a read-only file, or (refuse) anything at all, also when
// it appears while the job runs (system_error then is_exists_error).
[[nodiscard]] StatusCode decrypt_file(JobContext& job, const char16_t* container, const char16_t* output,
                                      const char16_t* keyfile, const char16_t* password, ProgressSink* owner,
                                      Overwrite overwrite = Overwrite::replace);
[[nodiscard]] StatusCode encrypt_file(JobContext& job, const char16_t* source, const char16_t* output,
                                      const char16_t* keyfile, const char16_t* password, const char16_t* hint,
                                      std::uint32_t block_size, std::uint32_t jumble_rounds, ProgressSink* owner,
                                      Overwrite overwrite = Overwrite::replace);
[[nodiscard]] StatusCode test_file(JobContext& job, const char16_t* container, ProgressSink* owner);

}  // namespace corvane
