// The meter update and the run-state poll, on a clock the tests drive.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/container/job_context.h"

namespace corvane {
namespace {

std::uint32_t g_now = 0;
std::vector<std::uint32_t> g_sleeps;
JobContext* g_job = nullptr;
std::size_t g_flip_after = 0;
RunState g_flip_to = RunState::running;
int g_reports = 0;

std::uint32_t fake_tick() { return g_now; }
void fake_sleep(std::uint32_t ms) {
    g_sleeps.push_back(ms);
    if (g_sleeps.size() == g_flip_after) g_job->run_state.store(g_flip_to);
}
void count_report(ProgressMeter&) { ++g_reports; }

class Meter : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = job_clock();
        job_clock().tick_ms = &fake_tick;
        job_clock().sleep_ms = &fake_sleep;
        g_now = 0;
        g_sleeps.clear();
        g_flip_after = 0;
        g_reports = 0;
    }
    void TearDown() override {
        job_clock() = saved_;
        g_job = nullptr;
    }

    // The meter as a job starts it, at tick `now`.
    static std::unique_ptr<JobContext> started(std::uint64_t total, std::uint32_t now) {
        auto job = std::make_unique<JobContext>();
        ProgressMeter& m = job->meter;
        m.total_bytes = total;
        m.total_mib = static_cast<double>(total) / 1048576.0 + 1e-6;
        m.done_mib = 1e-6;
        m.fraction = 1e-6 / m.total_mib;
        m.last_tick = now;
        m.elapsed = 1e-5;
        m.report = &count_report;
        job->run_state.store(RunState::running);
        return job;
    }

private:
    JobClock saved_;
};

constexpr std::uint32_t MIB = 1048576;

TEST_F(Meter, EmptyJobIsCompleteAtOnce) {
    auto job = started(0, 0);
    g_now = 50;
    meter_advance(*job, 0);
    const ProgressMeter& m = job->meter;
    EXPECT_DOUBLE_EQ(m.fraction, 1.0);
    EXPECT_NEAR(m.remaining, 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(m.elapsed, 0.05 + 1e-5);
    EXPECT_EQ(g_reports, 1);
}

TEST_F(Meter, WholeTotalInOneAdvance) {
    auto job = started(10 * MIB, 1000);
    g_now = 3000;
    meter_advance(*job, 10 * MIB);
    const ProgressMeter& m = job->meter;
    EXPECT_EQ(m.done_bytes, 10u * MIB);
    EXPECT_NEAR(m.fraction, 1.0, 1e-12);
    EXPECT_NEAR(m.remaining, 0.0, 1e-9);
    EXPECT_DOUBLE_EQ(m.elapsed, 2.0 + 1e-5);
    EXPECT_NEAR(m.speed, 10.0 / 2.0, 1e-4);
    EXPECT_EQ(m.last_tick, 3000u);
    EXPECT_EQ(g_reports, 1);
}

TEST_F(Meter, RemainingIsTheElapsedTimeScaledByWhatIsLeft) {
    auto job = started(4 * MIB, 0);
    g_now = 1000;
    meter_advance(*job, MIB);
    EXPECT_NEAR(job->meter.fraction, 0.25, 1e-6);
    EXPECT_NEAR(job->meter.remaining, 3.0, 1e-3);
    EXPECT_NEAR(job->meter.speed, 1.0, 1e-3);
}

TEST_F(Meter, PausesAreLeftOutOfTheElapsedTime) {
    auto plain = started(8 * MIB, 100);
    auto paused = started(8 * MIB, 100);
    g_now = 1100;
    meter_advance(*plain, MIB);
    meter_advance(*paused, MIB);
    // The paused job waits 10 s (20 steps) before its next block.
    paused->meter.paused_ms = 10000;
    g_now = 2100;
    meter_advance(*plain, MIB);
    g_now = 12100;
    meter_advance(*paused, MIB);
    EXPECT_DOUBLE_EQ(paused->meter.elapsed, plain->meter.elapsed);
    EXPECT_DOUBLE_EQ(paused->meter.speed, plain->meter.speed);
    EXPECT_DOUBLE_EQ(paused->meter.remaining, plain->meter.remaining);
    EXPECT_EQ(paused->meter.paused_ms, 0u);
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
        auto job = started(MIB, c.last_tick);
        job->meter.paused_ms = c.paused_ms;
        g_now = c.now;
        meter_advance(*job, 1024);
        EXPECT_NEAR(job->meter.elapsed, 1e-5 + c.added_seconds, 1e-9) << c.name;
        EXPECT_EQ(job->meter.last_tick, c.now) << c.name;
        EXPECT_EQ(job->meter.paused_ms, 0u) << c.name;
    }
}

TEST_F(Meter, AdvanceWithoutReportStillUpdates) {
    auto job = started(MIB, 0);
    job->meter.report = nullptr;
    g_now = 10;
    meter_advance(*job, MIB / 2);
    EXPECT_EQ(job->meter.done_bytes, MIB / 2);
    EXPECT_NEAR(job->meter.fraction, 0.5, 1e-5);
}

TEST_F(Meter, PollWaitsInHalfSecondStepsWhilePaused) {
    struct Case {
        const char* name;
        RunState state;
        std::size_t flip_after;  // sleeps before the user acts
        RunState flip_to;
        bool go_on;
        std::size_t sleeps;
    };
    const Case cases[] = {
        {"running", RunState::running, 0, RunState::running, true, 0},
        {"cancelling", RunState::cancelling, 0, RunState::running, false, 0},
        {"paused then continued", RunState::paused, 4, RunState::running, true, 4},
        {"paused then cancelled", RunState::paused, 1, RunState::cancelling, false, 1},
        {"idle", RunState::idle, 0, RunState::running, true, 0},
    };
    for (const Case& c : cases) {
        auto job = started(MIB, 0);
        g_job = job.get();
        g_sleeps.clear();
        g_flip_after = c.flip_after;
        g_flip_to = c.flip_to;
        job->run_state.store(c.state);
        EXPECT_EQ(poll_run_state(*job), c.go_on) << c.name;
        EXPECT_EQ(g_sleeps, std::vector<std::uint32_t>(c.sleeps, 500u)) << c.name;
        EXPECT_EQ(job->meter.paused_ms, 500u * c.sleeps) << c.name;
    }
}

}  // namespace
}  // namespace corvane
