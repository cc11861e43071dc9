#include "jobs/progress.h"

namespace corvane {

std::uint32_t& last_report_tick() {
    // Only the worker writes it, and at most one worker runs at a time.
    static std::uint32_t tick = 0;
    return tick;
}

void meter_start(JobContext& job, std::uint64_t total, ProgressSink* owner) {
    ProgressMeter& m = job.meter;
    m.total_bytes = total;
    m.total_mib = static_cast<double>(static_cast<std::int64_t>(total)) / 1048576.0 + 1e-6;
    m.done_bytes = 0;
    m.done_mib = 1e-6;
    m.fraction = 1e-6 / m.total_mib;
    m.last_tick = job_clock().tick_ms();
    m.paused_ms = 0;
    // Non-zero so the first speed is taken over a non-zero time.
    m.elapsed = 1e-5;
    m.remaining = 0;
    m.speed = 0;
    m.report = &report_progress;
    m.owner = owner;
    report_progress(m);
}

void report_progress(ProgressMeter& meter) {
    std::uint32_t& last = last_report_tick();
    if (meter.last_tick - last <= REPORT_INTERVAL_MS && meter.done_bytes != meter.total_bytes) return;
    if (meter.owner != nullptr) static_cast<ProgressSink*>(meter.owner)->on_progress(meter);
    last = meter.last_tick;
}

}  // namespace corvane
