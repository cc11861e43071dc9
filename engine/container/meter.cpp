#include "engine/container/meter.h"

#include <atomic>

#include "engine/container/job_context.h"

namespace corvane {

namespace {

constexpr double BYTES_PER_MIB = 1048576.0;

// Relaxed is enough: the throttle only spaces the reports out, and jobs that
// run side by side share it like the jobs of one run after the other.
std::atomic<std::uint32_t> g_last_report_tick{0};

}  // namespace

JobClock& job_clock() {
    static JobClock clock;
    return clock;
}

std::uint32_t last_report_tick() { return g_last_report_tick.load(std::memory_order_relaxed); }

void set_last_report_tick(std::uint32_t tick) { g_last_report_tick.store(tick, std::memory_order_relaxed); }

void meter_start(JobContext& job, std::uint64_t total, ProgressSink* owner) {
    ProgressMeter& m = job.meter;
    m.total_bytes = total;
    m.total_mib = static_cast<double>(static_cast<std::int64_t>(total)) / BYTES_PER_MIB + 1e-6;
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

void meter_advance(JobContext& job, std::uint32_t n) {
    ProgressMeter& m = job.meter;
    m.done_bytes += n;
    m.done_mib += n / BYTES_PER_MIB;
    m.fraction = m.done_mib / m.total_mib;

    const std::uint32_t now = job_clock().tick_ms();
    const std::uint32_t span = now - m.last_tick;
    // The pause steps are counted in whole 500 ms while the tick is coarser,
    // so they can exceed the measured span by a little; the unsigned
    // difference would then wrap to some 49 days. Such an update counts no
    // working time instead.
    const std::uint32_t interval = m.paused_ms > span ? 0u : span - m.paused_ms;
    m.last_tick = now;
    m.paused_ms = 0;

    m.elapsed += interval / 1000.0;
    m.remaining = m.elapsed / m.fraction - m.elapsed;
    m.speed = m.done_mib / m.elapsed;
    if (m.report != nullptr) m.report(m);
}

void report_progress(ProgressMeter& meter) {
    if (meter.last_tick - last_report_tick() <= REPORT_INTERVAL_MS && meter.done_bytes != meter.total_bytes) return;
    if (meter.owner != nullptr) meter.owner->on_progress(meter);
    set_last_report_tick(meter.last_tick);
}

bool poll_run_state(JobContext& job) {
    RunState state = job.run_state.load();
    while (state == RunState::paused) {
        job.meter.paused_ms += PAUSE_STEP_MS;
        job_clock().sleep_ms(PAUSE_STEP_MS);
        state = job.run_state.load();
    }
    if (state != RunState::cancelling) return true;
    job.cancelled = true;
    return false;
}

}  // namespace corvane
