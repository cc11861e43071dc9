// Whole encrypt, decrypt and test jobs with the k-th call of each file
// operation failing or coming short, for every k the job reaches. Each run
// must end with the status that failure gives, one teardown, every handle
// closed, every engine buffer wiped and freed, nothing new left in the
// folder, and a file that stood at the output path unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/container/job_context.h"
#include "jobs/file_jobs.h"
#include "platform/platform.h"
#include "tests/faults/faulty_platform.h"
#include "tests/faults/wipe_check.h"
#include "tests/fuzz/seed_containers.h"
#include "tests/support/scratch.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using faults::Mode;
using faults::Op;
using testing::Bytes;
using testing::read_file;
using testing::u16;
using testing::write_file;

constexpr const char16_t* PASSWORD = u"fault line";
const Bytes PREVIOUS = {'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'f', 'i', 'l', 'e'};

enum class Job { encrypt, decrypt, test };

// The files of one scenario; the folder is rebuilt before every run.
struct Scenario {
    const char* name;
    Job job;
    Bytes plain;                  // the source, or what the container holds
    std::uint32_t jumble_rounds;  // encryption
    bool keyfile;
    bool legacy;  // the container is a version-1 file with a key pad
};

struct Files {
    fs::path dir, source, container, keyfile, output;
};

using Codes = std::set<StatusCode>;

std::string describe(const Scenario& s, Op op, std::uint32_t k, Mode mode) {
    return std::string(s.name) + ": " + faults::op_name(op) + " #" + std::to_string(k) +
           (mode == Mode::fail ? " fails" : " comes short");
}

class FaultSweep : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = testing::scratch_dir();
        key_ = testing::pattern_bytes(1000, 77);
    }

    // The folder as a job finds it: source or container, key file, and an
    // earlier file at the output path. A container is made with faults off.
    Files prepare(const Scenario& s) {
        faults::disarm();
        Files f;
        f.dir = root_ / "run";
        std::error_code ec;
        fs::remove_all(f.dir, ec);
        fs::create_directories(f.dir);
        f.source = f.dir / "source.bin";
        f.container = f.dir / "sealed.qvk";
        f.keyfile = f.dir / "key.bin";
        write_file(f.keyfile, key_);
        if (s.job == Job::encrypt) {
            write_file(f.source, s.plain);
            f.output = f.dir / "sealed.qvk";
        } else {
            f.output = f.dir / "restored.bin";
            write_file(f.container, container_for(s, f));
        }
        write_file(f.output, PREVIOUS);
        return f;
    }

    Bytes container_for(const Scenario& s, const Files& f) {
        if (s.legacy) {
            fuzz::SeedPlan plan;
            plan.format_version = 1;
            plan.mode_word = 512;
            plan.block_size = 2048;
            plan.plain = s.plain;
            plan.hint = u"nine char";
            plan.name = u"seven.t";
            const Bytes container = fuzz::make_container(plan, u16(f.keyfile).c_str());
            EXPECT_FALSE(container.empty());
            return container;
        }
        const fs::path plain = f.dir / "plain.tmp";
        write_file(plain, s.plain);
        auto job = std::make_unique<JobContext>();
        const fs::path made = f.dir / "made.qvk";
        const StatusCode status =
            encrypt_file(*job, u16(plain).c_str(), u16(made).c_str(), s.keyfile ? u16(f.keyfile).c_str() : nullptr,
                         PASSWORD, u"hint", 32768, 7, nullptr);
        EXPECT_EQ(status, StatusCode::ok);
        const Bytes container = read_file(made);
        fs::remove(plain);
        fs::remove(made);
        return container;
    }

    StatusCode run_job(const Scenario& s, const Files& f, JobContext& job) {
        const std::u16string key = u16(f.keyfile);
        const char16_t* keyfile = s.keyfile ? key.c_str() : nullptr;
        switch (s.job) {
        case Job::encrypt:
            return encrypt_file(job, u16(f.source).c_str(), u16(f.output).c_str(), keyfile, PASSWORD, u"hint", 32768,
                                s.jumble_rounds, nullptr);
        case Job::decrypt:
            return decrypt_file(job, u16(f.container).c_str(), u16(f.output).c_str(), keyfile,
                                s.legacy ? fuzz::SEED_PASSWORD : PASSWORD, nullptr);
        case Job::test: return test_file(job, u16(f.container).c_str(), nullptr);
        }
        return StatusCode::ok;
    }

    // The statuses the fired fault may give: each failure maps to its code.
    Codes expected(const Scenario& s, const Files& f, const faults::Fired& hit) {
        const std::u16string path = hit.path;
        const bool on_keyfile = path == u16(f.keyfile);
        const bool on_target = path == u16(f.output);
        const bool on_input = path == u16(s.job == Job::encrypt ? f.source : f.container);
        const bool fail = hit.mode == Mode::fail;
        switch (hit.op) {
        case Op::open_read:
            // The look at an earlier output is only advice; the move decides.
            if (on_target) return {StatusCode::ok};
            return {StatusCode::open_failed};
        case Op::file_facts:
            if (on_target) return {StatusCode::ok};
            // A reader asks for the container's size only to keep its buffers small.
            if (on_input && s.job != Job::encrypt) return {StatusCode::ok};
            return {StatusCode::open_failed};
        case Op::finish_file: return {StatusCode::write_failed};
        case Op::move_new: return {StatusCode::create_failed};
        case Op::free_space: return {StatusCode::disk_full};
        case Op::create_new:
        case Op::create_write:
        case Op::replace_file: return {StatusCode::create_failed};
        case Op::set_write_time: return {StatusCode::write_failed};
        case Op::set_attributes: return {StatusCode::ok};  // not checked, by design
        case Op::seek: return {StatusCode::read_failed};
        case Op::write: return {StatusCode::write_failed};
        case Op::read:
            if (fail) return {StatusCode::read_failed};
            if (on_keyfile) {
                // A key file that ends early is a different key: the encryption
                // succeeds with it, a decryption finds the wrong key, unless the
                // shortened read still held every byte the file had.
                if (s.job == Job::encrypt) return {StatusCode::ok};
                return {StatusCode::ok, StatusCode::wrong_key};
            }
            if (on_input && s.job == Job::encrypt) {
                // The short block of a small source is read as one exact count.
                return {s.plain.size() < SHORT_FILE_SIZE ? StatusCode::read_failed : StatusCode::truncated};
            }
            if (on_input) {
                if (hit.count == HEADER_SIZE) return {s.legacy ? StatusCode::ok : StatusCode::not_container};
                if (hit.count == LEGACY_HEADER_SIZE && s.legacy) return {StatusCode::not_container};
                if (hit.count == 16) {
                    // Eight trailer bytes carry the sum; only the test of a
                    // newer variant needs the other eight.
                    return {s.job == Job::test && !s.legacy ? StatusCode::damaged : StatusCode::ok};
                }
                if (s.legacy && (hit.count == 18 || hit.count == 14)) return {StatusCode::read_failed};  // texts
                return {StatusCode::truncated};
            }
            break;
        case Op::count_: break;
        }
        ADD_FAILURE() << "no expectation for " << faults::op_name(hit.op);
        return {};
    }

    // Every promise of a job that has ended, whatever its status.
    void check_aftermath(const Scenario& s, const Files& f, StatusCode status, const faults::Fired& hit,
                         const std::string& what) {
        EXPECT_EQ(faults::teardowns(), 1) << what;
        EXPECT_EQ(faults::handles_open(), 0) << what;
        EXPECT_EQ(faults::handles_opened(), faults::handles_closed()) << what;
        const testing::WipeReport wipes = testing::wipe_check_report();
        EXPECT_EQ(wipes.live, 0u) << what;
        EXPECT_EQ(wipes.freed_dirty, 0u) << what;

        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(f.dir)) names.insert(e.path().filename().string());
        std::set<std::string> want = {f.keyfile.filename().string(), f.output.filename().string()};
        want.insert((s.job == Job::encrypt ? f.source : f.container).filename().string());
        EXPECT_EQ(names, want) << what;

        const Bytes output = read_file(f.output);
        if (status != StatusCode::ok || s.job == Job::test) {
            EXPECT_EQ(output, PREVIOUS) << what;
        } else if (s.job == Job::decrypt) {
            EXPECT_EQ(output, s.plain) << what;
        } else {
            EXPECT_NE(output, PREVIOUS) << what;
            faults::disarm();
            auto check = std::make_unique<JobContext>();
            const fs::path back = f.dir / "back.bin";
            const std::u16string key = u16(f.keyfile);
            // A key file cut short while encrypting keyed this container; only
            // its structure can be held to account then.
            if (hit.fired && hit.path == key) {
                EXPECT_EQ(test_file(*check, u16(f.output).c_str(), nullptr), StatusCode::ok) << what;
                return;
            }
            EXPECT_EQ(decrypt_file(*check, u16(f.output).c_str(), u16(back).c_str(), s.keyfile ? key.c_str() : nullptr,
                                   PASSWORD, nullptr),
                      StatusCode::ok)
                << what;
            EXPECT_EQ(read_file(back), s.plain) << what;
        }
    }

    // One clean run to learn how often the job calls each operation, then
    // one run per call and mode with that call going wrong.
    void sweep(const Scenario& s) {
        Files f = prepare(s);
        auto clean = std::make_unique<JobContext>();
        faults::disarm();
        faults::watch_teardown(clean->short_buffer, sizeof clean->short_buffer);
        testing::wipe_check_reset();
        const StatusCode clean_status = run_job(s, f, *clean);
        ASSERT_EQ(clean_status, StatusCode::ok) << s.name;
        std::uint32_t counts[static_cast<int>(Op::count_)] = {};
        for (int op = 0; op < static_cast<int>(Op::count_); ++op) counts[op] = faults::calls(static_cast<Op>(op));
        check_aftermath(s, f, clean_status, faults::Fired{}, std::string(s.name) + ": without faults");

        for (int op_index = 0; op_index < static_cast<int>(Op::count_); ++op_index) {
            const Op op = static_cast<Op>(op_index);
            const bool moves_bytes = op == Op::read || op == Op::write;
            for (std::uint32_t k = 1; k <= counts[op_index]; ++k) {
                for (Mode mode : {Mode::fail, Mode::short_count}) {
                    if (mode == Mode::short_count && !moves_bytes) continue;
                    const std::string what = describe(s, op, k, mode);
                    f = prepare(s);
                    auto job = std::make_unique<JobContext>();
                    faults::arm(op, k, mode);
                    faults::watch_teardown(job->short_buffer, sizeof job->short_buffer);
                    testing::wipe_check_reset();
                    const StatusCode status = run_job(s, f, *job);
                    const faults::Fired hit = faults::fired();
                    ASSERT_TRUE(hit.fired) << what << ": the planned call never came";
                    ++injected_;
                    const Codes allowed = expected(s, f, hit);
                    EXPECT_TRUE(allowed.count(status) == 1) << what << " gave " << to_int(status);
                    EXPECT_EQ(job->status, status) << what;
                    check_aftermath(s, f, status, hit, what);
                }
            }
        }
    }

    // Each engine buffer allocation of the job failing in turn gives 7.
    void sweep_allocations(const Scenario& s) {
        Files f = prepare(s);
        testing::wipe_check_reset();
        auto clean = std::make_unique<JobContext>();
        faults::disarm();
        ASSERT_EQ(run_job(s, f, *clean), StatusCode::ok);
        const std::size_t buffers = testing::wipe_check_report().allocated;
        ASSERT_GT(buffers, 0u) << s.name;
        for (std::size_t k = 1; k <= buffers; ++k) {
            const std::string what = std::string(s.name) + ": buffer #" + std::to_string(k) + " refused";
            f = prepare(s);
            auto job = std::make_unique<JobContext>();
            faults::watch_teardown(job->short_buffer, sizeof job->short_buffer);
            testing::wipe_check_reset();
            testing::fail_buffer(k);
            const StatusCode status = run_job(s, f, *job);
            ++injected_;
            EXPECT_EQ(status, StatusCode::no_memory) << what;
            check_aftermath(s, f, status, faults::Fired{}, what);
        }
    }

    void TearDown() override {
        faults::disarm();
        std::printf("[ faults   ] %d faults injected\n", injected_);
    }

    fs::path root_;
    Bytes key_;
    int injected_ = 0;
};

// Sizes above the 32768-byte smallest request, so the streams have several blocks.
const Scenario SCENARIOS[] = {
    {"encrypt, Stream, key file", Job::encrypt, testing::pattern_bytes(100000, 1), 0, true, false},
    {"encrypt, Jumble, no key file", Job::encrypt, testing::pattern_bytes(70001, 2), 1, false, false},
    {"encrypt, short source", Job::encrypt, testing::pattern_bytes(5, 3), 7, true, false},
    {"decrypt, key file", Job::decrypt, testing::pattern_bytes(100000, 4), 0, true, false},
    {"decrypt, short source", Job::decrypt, testing::pattern_bytes(7, 5), 0, false, false},
    {"decrypt, legacy with key pad", Job::decrypt, testing::pattern_bytes(5000, 6), 0, true, true},
    {"test", Job::test, testing::pattern_bytes(100000, 7), 0, false, false},
    {"test, legacy", Job::test, testing::pattern_bytes(5000, 8), 0, true, true},
};

class FaultSweepEach : public FaultSweep, public ::testing::WithParamInterface<int> {};

TEST_P(FaultSweepEach, EveryFileOperationFailingOrShort) { sweep(SCENARIOS[GetParam()]); }

TEST_P(FaultSweepEach, EveryBufferAllocationRefused) { sweep_allocations(SCENARIOS[GetParam()]); }

INSTANTIATE_TEST_SUITE_P(Jobs, FaultSweepEach, ::testing::Range(0, static_cast<int>(std::size(SCENARIOS))));

}  // namespace
}  // namespace corvane
