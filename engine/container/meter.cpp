// The worker's side of progress and job control: the meter update and the
// poll of the run state.
#include "engine/container/job_context.h"

namespace corvane {

namespace {
constexpr double BYTES_PER_MIB = 1048576.0;
constexpr std::uint32_t PAUSE_STEP_MS = 500;
}  // namespace

JobClock& job_clock() {
    static JobClock clock;
    return clock;
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

bool poll_run_state(JobContext& job) {
    RunState state = job.run_state.load();
    while (state == RunState::paused) {
        job.meter.paused_ms += PAUSE_STEP_MS;
        job_clock().sleep_ms(PAUSE_STEP_MS);
        state = job.run_state.load();
    }
    return state != RunState::cancelling;
}

}  // namespace corvane
