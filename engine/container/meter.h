// The progress meter and the worker's side of job control: the figures a job
// keeps while it runs, their throttled report to a front end, and the poll of
// the run state at every poll point.
#pragma once

#include <cstdint>

#include "engine/container/status.h"
#include "platform/platform.h"

namespace corvane {

struct JobContext;
struct ProgressMeter;

// What a running job tells its front end. The desktop program forwards it as
// window messages, the terminal program draws a progress line.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // Called on the worker thread; the worker waits until it returns.
    virtual void on_progress(const ProgressMeter& meter) = 0;
};

// Called after every meter update; meter_start installs report_progress.
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
    ProgressSink* owner = nullptr;
};

inline constexpr std::uint32_t REPORT_INTERVAL_MS = 333;
inline constexpr std::uint32_t PAUSE_STEP_MS = 500;

// Fills the meter for a job of total bytes, reporting to owner (may be null),
// and sends the first report.
void meter_start(JobContext& job, std::uint64_t total, ProgressSink* owner);

// Adds n processed bytes and recomputes the figures, then calls meter.report.
void meter_advance(JobContext& job, std::uint32_t n);

// Forwards the meter to its owner at most once per REPORT_INTERVAL_MS, and
// always when the job is complete.
void report_progress(ProgressMeter& meter);

// The tick of the last report sent, shared by every job of the process.
[[nodiscard]] std::uint32_t last_report_tick();
void set_last_report_tick(std::uint32_t tick);

// The poll at every poll point: waits in PAUSE_STEP_MS steps while Paused
// (counting them in meter.paused_ms), then returns false, and marks the job
// cancelled, when it is Cancelling.
[[nodiscard]] bool poll_run_state(JobContext& job);

// The clock the meter and the pause wait use; tests replace it.
struct JobClock {
    std::uint32_t (*tick_ms)() = &platform::tick_ms;
    void (*sleep_ms)(std::uint32_t) = &platform::sleep_ms;
};
JobClock& job_clock();

}  // namespace corvane
