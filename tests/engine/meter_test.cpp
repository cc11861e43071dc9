// The progress meter: its start, its figures, the throttled report and the
// poll of the run state, on a clock the tests drive.
#include "engine/container/meter.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/container/job_context.h"
#include "tests/support/job_helpers.h"

namespace corvane {
namespace {

using testing::RecordingSink;

constexpr std::uint32_t MIB = 1048576;

// A clock the test moves by hand. Sleeping advances it, and a scripted run
// state change can take effect after a number of pause steps.
struct FakeClock {
    static inline std::uint32_t now = 0;
    static inline int sleeps = 0;
    static inline int change_after = -1;
    static inline JobContext* job = nullptr;
    static inline RunState change_to = RunState::running;

    static std::uint32_t tick() { return now; }
    static void sleep(std::uint32_t ms) {
        now += ms;
        if (++sleeps == change_after && job != nullptr) job->run_state.store(change_to);
    }
};

class Meter : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = job_clock();
        job_clock().tick_ms = &FakeClock::tick;
        job_clock().sleep_ms = &FakeClock::sleep;
        FakeClock::now = 50000;
        FakeClock::sleeps = 0;
        FakeClock::change_after = -1;
        FakeClock::job = job.get();
        // Far enough back that the start report is not held by the throttle.
        set_last_report_tick(FakeClock::now - 10000);
    }
    void TearDown() override {
        job_clock() = saved_;
        FakeClock::job = nullptr;
    }

    std::unique_ptr<JobContext> job = std::make_unique<JobContext>();
    RecordingSink sink;

private:
    JobClock saved_;
};

TEST_F(Meter, StartValues) {
    meter_start(*job, 3 * 1048576ull, &sink);
    const ProgressMeter& m = job->meter;
    EXPECT_EQ(m.total_bytes, 3 * 1048576ull);
    EXPECT_DOUBLE_EQ(m.total_mib, 3.000001);
    EXPECT_EQ(m.done_bytes, 0u);
    EXPECT_DOUBLE_EQ(m.done_mib, 1e-6);
    EXPECT_DOUBLE_EQ(m.fraction, 1e-6 / 3.000001);
    EXPECT_EQ(m.last_tick, 50000u);
    EXPECT_EQ(m.paused_ms, 0u);
    EXPECT_DOUBLE_EQ(m.elapsed, 1e-5);
    EXPECT_EQ(m.remaining, 0.0);
    EXPECT_EQ(m.speed, 0.0);
    EXPECT_EQ(m.report, &report_progress);
    EXPECT_EQ(m.owner, &sink);
    EXPECT_EQ(sink.reports, 1);
    EXPECT_EQ(last_report_tick(), 50000u);
}

TEST_F(Meter, EmptyJobReportsAtStartDespiteThrottle) {
    set_last_report_tick(FakeClock::now);  // a report just went out
    meter_start(*job, 0, &sink);
    EXPECT_DOUBLE_EQ(job->meter.total_mib, 1e-6);
    EXPECT_EQ(sink.reports, 1);
}

TEST_F(Meter, EmptyJobIsCompleteAtOnce) {
    meter_start(*job, 0, &sink);
    FakeClock::now += 50;
    meter_advance(*job, 0);
    const ProgressMeter& m = job->meter;
    EXPECT_DOUBLE_EQ(m.fraction, 1.0);
    EXPECT_NEAR(m.remaining, 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(m.elapsed, 0.05 + 1e-5);
    EXPECT_EQ(sink.reports, 2);
}

TEST_F(Meter, StartReportHeldWhenThePreviousJobReportedJustBefore) {
    set_last_report_tick(FakeClock::now - 100);
    meter_start(*job, 1000, &sink);
    EXPECT_EQ(sink.reports, 0);
}

TEST_F(Meter, WholeTotalInOneAdvanceCompletesAndAlwaysReports) {
    meter_start(*job, 10 * MIB, &sink);
    FakeClock::now += 10;  // well inside the throttle
    meter_advance(*job, 10 * MIB);
    const ProgressMeter& m = job->meter;
    EXPECT_EQ(m.done_bytes, 10u * MIB);
    EXPECT_NEAR(m.fraction, 1.0, 1e-12);
    EXPECT_NEAR(m.remaining, 0.0, 1e-9);
    EXPECT_DOUBLE_EQ(m.elapsed, 0.01 + 1e-5);
    EXPECT_NEAR(m.speed, 10.0 / (0.01 + 1e-5), 1e-4);
    EXPECT_EQ(m.last_tick, FakeClock::now);
    EXPECT_EQ(sink.reports, 2);
    EXPECT_EQ(sink.last.done_bytes, 10u * MIB);
}

TEST_F(Meter, FiguresFollowTheWorkingTime) {
    meter_start(*job, 4 * 1048576ull, &sink);
    FakeClock::now += 2000;
    meter_advance(*job, 1048576);
    const ProgressMeter& m = job->meter;
    EXPECT_NEAR(m.elapsed, 2.00001, 1e-9);
    EXPECT_NEAR(m.fraction, 0.25, 1e-6);
    EXPECT_NEAR(m.remaining, 3 * m.elapsed, 1e-4);
    EXPECT_NEAR(m.speed, 0.5, 1e-5);
}

TEST_F(Meter, ReportsAreThrottledTo333Milliseconds) {
    meter_start(*job, 100000000, &sink);
    ASSERT_EQ(sink.reports, 1);
    const struct {
        std::uint32_t after_ms;
        int reports;
    } steps[] = {{100, 1}, {233, 1}, {1, 2}, {333, 2}, {1, 3}};
    // 100 ms: held; 333 ms after the report: held (strictly more is needed);
    // 334 ms: sent; and again 333 / 334 ms after that one.
    for (const auto& step : steps) {
        FakeClock::now += step.after_ms;
        meter_advance(*job, 1000);
        EXPECT_EQ(sink.reports, step.reports) << "at tick " << FakeClock::now;
    }
    EXPECT_EQ(last_report_tick(), FakeClock::now);
}

TEST_F(Meter, IntervalAcrossTheTickWrapAndPausesLongerThanIt) {
    struct Case {
        const char* name;
        std::uint32_t last_tick, now, paused_ms;
        double added_seconds;
    };
    const Case cases[] = {
        {"plain", 1000, 1250, 0, 0.25},
        {"tick wraps", 0xFFFFFF00u, 0x00000100u, 0, 0.512},
        {"pause inside the span", 1000, 2600, 1500, 0.1},
        {"pause equals the span", 1000, 2000, 1000, 0.0},
        // The 500 ms steps can outrun a coarse tick: no working time, not 49 days.
        {"pause longer than the span", 1000, 1990, 1000, 0.0},
        {"pause longer across the wrap", 0xFFFFFF00u, 0x00000010u, 500, 0.0},
    };
    for (const Case& c : cases) {
        auto started = std::make_unique<JobContext>();
        FakeClock::now = c.last_tick;
        meter_start(*started, MIB, nullptr);
        started->meter.paused_ms = c.paused_ms;
        FakeClock::now = c.now;
        meter_advance(*started, 1024);
        EXPECT_NEAR(started->meter.elapsed, 1e-5 + c.added_seconds, 1e-9) << c.name;
        EXPECT_EQ(started->meter.last_tick, c.now) << c.name;
        EXPECT_EQ(started->meter.paused_ms, 0u) << c.name;
    }
}

TEST_F(Meter, ATenSecondPauseIsNotCounted) {
    auto plain = std::make_unique<JobContext>();
    FakeClock::job = nullptr;
    meter_start(*plain, 8 * 1048576ull, nullptr);
    FakeClock::now += 1500;
    meter_advance(*plain, 1048576);

    FakeClock::now = 50000;
    FakeClock::job = job.get();
    meter_start(*job, 8 * 1048576ull, nullptr);
    FakeClock::now += 1500;
    job->run_state.store(RunState::paused);
    FakeClock::change_after = 20;  // Continue after 20 steps of 500 ms
    FakeClock::change_to = RunState::running;
    EXPECT_TRUE(poll_run_state(*job));
    EXPECT_EQ(job->meter.paused_ms, 10000u);
    meter_advance(*job, 1048576);

    EXPECT_DOUBLE_EQ(job->meter.elapsed, plain->meter.elapsed);
    EXPECT_DOUBLE_EQ(job->meter.speed, plain->meter.speed);
    EXPECT_DOUBLE_EQ(job->meter.remaining, plain->meter.remaining);
    EXPECT_EQ(job->meter.paused_ms, 0u);
}

TEST_F(Meter, PollWaitsInHalfSecondStepsWhilePaused) {
    const struct {
        const char* name;
        RunState start;
        int change_after;  // pause steps before the user acts
        RunState change_to;
        bool go_on;
        std::uint32_t paused_ms;
    } cases[] = {
        {"running", RunState::running, -1, RunState::running, true, 0},
        {"cancelling", RunState::cancelling, -1, RunState::running, false, 0},
        {"idle", RunState::idle, -1, RunState::running, true, 0},
        {"paused then continued", RunState::paused, 3, RunState::running, true, 1500},
        // Cancel confirmed while paused: leaves the wait and stops.
        {"paused then cancelled", RunState::paused, 1, RunState::cancelling, false, 500},
        {"paused, cancelled later", RunState::paused, 2, RunState::cancelling, false, 1000},
    };
    for (const auto& c : cases) {
        job->meter.paused_ms = 0;
        job->cancelled = false;
        job->run_state.store(c.start);
        FakeClock::sleeps = 0;
        FakeClock::change_after = c.change_after;
        FakeClock::change_to = c.change_to;
        const std::uint32_t before = FakeClock::now;
        EXPECT_EQ(poll_run_state(*job), c.go_on) << c.name;
        EXPECT_EQ(job->cancelled, !c.go_on) << c.name << ": a job that stops on a cancel says so";
        EXPECT_EQ(job->meter.paused_ms, c.paused_ms) << c.name;
        EXPECT_EQ(FakeClock::now - before, c.paused_ms) << c.name << ": slept in 500 ms steps";
    }
}

TEST_F(Meter, AdvanceWithoutReportStillUpdates) {
    meter_start(*job, MIB, &sink);
    job->meter.report = nullptr;
    FakeClock::now += 400;
    meter_advance(*job, MIB / 2);
    EXPECT_EQ(job->meter.done_bytes, MIB / 2);
    EXPECT_NEAR(job->meter.fraction, 0.5, 1e-5);
    EXPECT_EQ(sink.reports, 1);
}

TEST_F(Meter, ReportWithoutOwnerStillMovesTheThrottle) {
    meter_start(*job, 100, nullptr);
    EXPECT_EQ(last_report_tick(), FakeClock::now);
}

}  // namespace
}  // namespace corvane
