// Starting the meter and the throttled report that hands it to a front end.
#pragma once

#include <cstdint>

#include "engine/container/job_context.h"

namespace corvane {

// What a running job tells its front end. The desktop program forwards it as
// window messages, the terminal program draws a progress line.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // Called on the worker thread; the worker waits until it returns.
    virtual void on_progress(const ProgressMeter& meter) = 0;
};

enum class JobKind : std::uint32_t { decrypting = 0, encrypting = 1, testing = 2 };

// lparam of the completion message: 0/1 decrypt ok/failed, 2/3 encrypt, 4/5 test.
[[nodiscard]] constexpr std::uint32_t completion_kind(JobKind kind, StatusCode status) {
    return static_cast<std::uint32_t>(kind) * 2u + (status == StatusCode::ok ? 0u : 1u);
}

inline constexpr std::uint32_t REPORT_INTERVAL_MS = 333;

// Fills the meter for a job of total bytes, reporting to owner (may be null),
// and sends the first report.
void meter_start(JobContext& job, std::uint64_t total, ProgressSink* owner);

// Forwards the meter to its owner at most once per 333 ms, and always when
// the job is complete.
void report_progress(ProgressMeter& meter);

// The tick of the last report sent, shared by every job of the process.
std::uint32_t& last_report_tick();

}  // namespace corvane
