// A job on its own worker thread, steered through run_state from the test
// thread the way the progress dialog steers it: pause, continue, cancel. The
// worker hands over at a progress report (it waits there, as it waits for the
// dialog), so every step happens at a known point without any timing.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "jobs/file_jobs.h"
#include "tests/support/scratch.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::u16;

constexpr const char16_t* PASSWORD = u"threads";

// The job's clock: every reading is 400 ms on, so each block reports; a pause
// step is counted and yields instead of sleeping half a second.
std::atomic<std::uint32_t> fake_now{0};
std::atomic<std::uint32_t> pause_steps{0};
std::uint32_t fake_tick() { return fake_now.fetch_add(400, std::memory_order_relaxed) + 400; }
void fake_sleep(std::uint32_t) {
    pause_steps.fetch_add(1, std::memory_order_relaxed);
    std::this_thread::yield();
}

// Stops the worker inside its first report with bytes done until the test
// thread has acted.
class HandOver : public ProgressSink {
public:
    void on_progress(const ProgressMeter& meter) override {
        reports_ += 1;
        last_done_ = meter.done_bytes;
        if (meter.done_bytes == 0) return;
        std::unique_lock<std::mutex> lock(mutex_);
        if (reached_) return;
        reached_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return released_; });
    }
    void wait_reached() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return reached_; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    // Read only after the worker has been joined.
    int reports() const { return reports_; }
    std::uint64_t last_done() const { return last_done_; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool reached_ = false;
    bool released_ = false;
    int reports_ = 0;
    std::uint64_t last_done_ = 0;
};

enum class Kind { encrypt, decrypt, test };
enum class Steering { pause_then_continue, pause_then_cancel, cancel };

struct Case {
    const char* name;
    Kind kind;
    std::uint32_t jumble_rounds;
    Steering steering;
};

const Case CASES[] = {
    {"encrypt, Stream, pause then continue", Kind::encrypt, 0, Steering::pause_then_continue},
    {"encrypt, Jumble, pause then cancel", Kind::encrypt, 3, Steering::pause_then_cancel},
    {"encrypt, Jumble, cancel", Kind::encrypt, 3, Steering::cancel},
    {"decrypt, pause then continue", Kind::decrypt, 3, Steering::pause_then_continue},
    {"decrypt, pause then cancel", Kind::decrypt, 0, Steering::pause_then_cancel},
    {"decrypt, cancel", Kind::decrypt, 3, Steering::cancel},
    {"test, pause then continue", Kind::test, 0, Steering::pause_then_continue},
    {"test, cancel", Kind::test, 0, Steering::cancel},
};

class JobThreads : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        saved_ = job_clock();
        job_clock().tick_ms = &fake_tick;
        job_clock().sleep_ms = &fake_sleep;
        dir_ = testing::scratch_dir();
    }
    void TearDown() override { job_clock() = saved_; }

    JobClock saved_;
    fs::path dir_;
};

TEST_P(JobThreads, SteeredFromAnotherThread) {
    const Case c = GetParam();
    const fs::path source = dir_ / "plain.bin";
    const fs::path container = dir_ / "plain.qvk";
    const fs::path output = c.kind == Kind::encrypt ? dir_ / "out.qvk" : dir_ / "out.bin";
    const Bytes plain = testing::pattern_bytes(300000, 21);
    testing::write_file(source, plain);
    if (c.kind != Kind::encrypt) {
        auto maker = std::make_unique<JobContext>();
        ASSERT_EQ(encrypt_file(*maker, u16(source).c_str(), u16(container).c_str(), nullptr, PASSWORD, nullptr, 32768,
                               c.jumble_rounds, nullptr),
                  StatusCode::ok);
    }

    auto job = std::make_unique<JobContext>();
    job->run_state.store(RunState::running);
    HandOver sink;
    StatusCode status = StatusCode::no_thread;
    std::thread worker([&] {
        switch (c.kind) {
        case Kind::encrypt:
            status = encrypt_file(*job, u16(source).c_str(), u16(output).c_str(), nullptr, PASSWORD, nullptr, 32768,
                                  c.jumble_rounds, &sink);
            break;
        case Kind::decrypt:
            status = decrypt_file(*job, u16(container).c_str(), u16(output).c_str(), nullptr, PASSWORD, &sink);
            break;
        case Kind::test: status = test_file(*job, u16(container).c_str(), &sink); break;
        }
    });

    sink.wait_reached();
    pause_steps.store(0);
    if (c.steering == Steering::cancel) {
        job->run_state.store(RunState::cancelling);
        sink.release();
    } else {
        job->run_state.store(RunState::paused);
        sink.release();
        // The worker is paused once it has taken a few steps of its wait.
        while (pause_steps.load() < 3) std::this_thread::yield();
        job->run_state.store(c.steering == Steering::pause_then_cancel ? RunState::cancelling : RunState::running);
    }
    worker.join();

    EXPECT_EQ(status, StatusCode::ok) << c.name;
    EXPECT_EQ(job->status, StatusCode::ok) << c.name;
    EXPECT_EQ(job->buffer_size, 0u);
    EXPECT_EQ(job->source_handle, platform::INVALID_FILE);
    EXPECT_EQ(job->output_handle, platform::INVALID_FILE);
    const bool finished = c.steering == Steering::pause_then_continue;
    if (c.kind == Kind::test) {
        EXPECT_EQ(sink.last_done() == plain.size(), finished) << c.name;
    } else if (finished) {
        ASSERT_TRUE(fs::exists(output)) << c.name;
        if (c.kind == Kind::decrypt) {
            EXPECT_EQ(testing::read_file(output), plain) << c.name;
        }
        EXPECT_EQ(sink.last_done(), plain.size()) << c.name;
    } else {
        EXPECT_FALSE(fs::exists(output)) << c.name;
        EXPECT_LT(sink.last_done(), plain.size()) << c.name;
    }
    if (c.steering != Steering::cancel) {
        EXPECT_GE(pause_steps.load(), 3u) << c.name;
    }
    EXPECT_GE(sink.reports(), 2) << c.name;
}

// Named after the case, so the test names stay the same from run to run.
std::string case_name(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    for (const char* c = info.param.name; *c != 0; ++c)
        if ((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9')) name += *c;
        else if (*c == ' ') name += '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Steering, JobThreads, ::testing::ValuesIn(CASES), case_name);

}  // namespace
}  // namespace corvane
