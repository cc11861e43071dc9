// The three jobs and how their start and end are told to the front end that
// started them.
#pragma once

#include <cstdint>

#include "engine/container/status.h"

namespace corvane {

// Which job runs. The value is also the wparam of the job-status message that
// announces the job's start.
enum class JobKind : std::uint32_t { decrypting = 0, encrypting = 1, testing = 2 };

// The job-status message's wparam for a progress report (lparam: the meter).
inline constexpr std::uint32_t PROGRESS_REPORT = 3;

// lparam of the completion message: 0/1 decrypt ok/failed, 2/3 encrypt, 4/5 test.
[[nodiscard]] constexpr std::uint32_t completion_kind(JobKind kind, StatusCode status) {
    return static_cast<std::uint32_t>(kind) * 2u + (status == StatusCode::ok ? 0u : 1u);
}

}  // namespace corvane
