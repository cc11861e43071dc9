// The Jumble: the fixed maps, progress inside a block, pause and cancel, and
// the optimised rounds against a step-by-step reference for every variant.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/cipher/jumble.h"
#include "engine/cipher/key_schedule.h"
#include "tests/support/scratch.h"

namespace corvane {
namespace {

using testing::Bytes;
using Map = std::vector<std::uint32_t>;

// Owns the buffers the block stream would otherwise allocate.
struct JumbleJob {
    std::unique_ptr<JobContext> job = std::make_unique<JobContext>();
    Map map;
    Bytes spare;

    JumbleJob(std::uint16_t version, std::uint32_t rounds, std::uint32_t buffer_size) {
        job->header.set_schedule_version(version);
        job->header.set_jumble_rounds(rounds);
        job->cipher.mask = version >= 3 ? 1023u : 255u;
        for (std::uint32_t x = 0; x <= job->cipher.mask; ++x) job->cipher.perm_table[x] = x;
        map.assign(buffer_size, 0xDEADBEEFu);
        spare.assign(buffer_size, 0xEE);
        job->jumble_map = map.data();
        job->spare_buffer = spare.data();
        job->buffer_size = buffer_size;
        job->run_state.store(RunState::running);
        job->meter.total_bytes = 1u << 20;
        job->meter.total_mib = 1.000001;
        job->meter.done_mib = 1e-6;
        job->meter.elapsed = 1e-5;
    }

    // A permutation table and indices as a keyed job would have them.
    void shuffle(std::uint32_t seed) {
        CipherState& c = job->cipher;
        const Bytes noise = testing::pattern_bytes(4 * (c.mask + 1) + 8, seed);
        for (std::uint32_t x = c.mask; x > 0; --x) {
            const std::uint32_t y = (noise[4 * x] | (noise[4 * x + 1] << 8)) % (x + 1);
            std::swap(c.perm_table[x], c.perm_table[y]);
        }
        c.perm_i = noise[0] & c.mask;
        c.perm_j = noise[1] & c.mask;
    }

    Map first(std::uint32_t n) const { return Map(map.begin(), map.begin() + n); }
};

// --- The reference, straight from the description --------------------------

std::uint32_t reference_perm_step(CipherState& c) {
    c.perm_i = (c.perm_i + 1) & c.mask;
    c.perm_j = (c.perm_j + c.perm_table[c.perm_i]) & c.mask;
    c.swap_word = c.perm_table[c.perm_i];
    c.perm_table[c.perm_i] = c.perm_table[c.perm_j];
    c.perm_table[c.perm_j] = c.swap_word;
    return c.perm_table[(c.perm_table[c.perm_i] + c.perm_table[c.perm_j]) & c.mask];
}

// Returns the map; swap_slot is left pointing into it.
void reference_jumble(CipherState& c, std::uint32_t version, std::uint32_t rounds, std::uint32_t n, Map& map,
                      Bytes& draw_table) {
    for (std::uint32_t k = 0; k < n; ++k) map[k] = k;
    if (version == 0) {
        for (std::uint32_t k = 0; k < n; ++k) draw_table[k] = static_cast<std::uint8_t>(reference_perm_step(c) % n);
    }
    for (std::uint32_t r = 0; r < rounds; ++r) {
        for (std::uint32_t k = 0; k < n; ++k) {
            std::uint32_t target;
            if (version == 0) {
                target = draw_table[k];
            } else {
                const std::uint32_t t = reference_perm_step(c);
                target = n > c.mask ? t : t % n;
            }
            c.swap_word = map[k];
            c.swap_slot = &map[target];
            map[k] = *c.swap_slot;
            *c.swap_slot = c.swap_word;
        }
    }
}

// --- A clock that never sleeps, and a record of the meter's reports --------

JobContext* g_job = nullptr;
std::vector<std::uint64_t> g_reported_done;
std::vector<std::uint32_t> g_perm_i_at_report;
RunState g_state_on_report = RunState::running;
int g_sleeps = 0;
int g_flip_after = 0;
RunState g_flip_to = RunState::running;

void record_report(ProgressMeter& meter) {
    g_reported_done.push_back(meter.done_bytes);
    g_perm_i_at_report.push_back(g_job->cipher.perm_i);
    if (g_state_on_report != RunState::running) g_job->run_state.store(g_state_on_report);
}

std::uint32_t fixed_tick() { return 1000; }

void fake_sleep(std::uint32_t) {
    if (++g_sleeps == g_flip_after) g_job->run_state.store(g_flip_to);
}

class Jumble : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = job_clock();
        job_clock().tick_ms = &fixed_tick;
        job_clock().sleep_ms = &fake_sleep;
        g_reported_done.clear();
        g_perm_i_at_report.clear();
        g_state_on_report = RunState::running;
        g_sleeps = 0;
        g_flip_after = 0;
        g_flip_to = RunState::running;
    }
    void TearDown() override {
        job_clock() = saved_;
        g_job = nullptr;
    }

    static void watch(JumbleJob& j) {
        g_job = j.job.get();
        j.job->meter.report = &record_report;
    }

private:
    JobClock saved_;
};

TEST_F(Jumble, FixedMapsOfEightBytesFromTheIdentity) {
    struct Case {
        std::uint16_t version;
        std::uint32_t rounds;
        Map expected;
        std::uint32_t perm_i;
    };
    // Variants 1 to 3 differ only in the table size, fixed at 256 here.
    const Case cases[] = {
        {3, 1, {6, 5, 7, 1, 3, 0, 4, 2}, 8},  {3, 2, {1, 6, 7, 5, 4, 3, 2, 0}, 16},
        {2, 1, {6, 5, 7, 1, 3, 0, 4, 2}, 8},  {1, 2, {1, 6, 7, 5, 4, 3, 2, 0}, 16},
        {0, 1, {6, 5, 7, 1, 3, 0, 4, 2}, 8},  {0, 2, {4, 0, 2, 5, 1, 6, 3, 7}, 8},
    };
    for (const Case& c : cases) {
        JumbleJob j(c.version, c.rounds, 8);
        j.job->cipher.mask = 255;
        ASSERT_TRUE(jumble_block(*j.job, 8));
        EXPECT_EQ(j.first(8), c.expected) << "variant " << c.version << " R " << c.rounds;
        EXPECT_EQ(j.job->cipher.perm_i, c.perm_i) << "variant " << c.version << " R " << c.rounds;
    }
}

TEST_F(Jumble, MatchesTheStepByStepReference) {
    for (std::uint16_t version = 0; version <= 3; ++version) {
        const std::uint32_t mask = version >= 3 ? 1023u : 255u;
        const std::uint32_t lengths[] = {1, 2, 7, mask, mask + 1, 300, 3001};
        for (std::uint32_t n : lengths) {
            for (std::uint32_t rounds : {1u, 2u, 5u}) {
                SCOPED_TRACE(::testing::Message() << "variant " << version << " n " << n << " R " << rounds);
                const std::uint32_t seed = version * 100000 + n * 10 + rounds;
                JumbleJob fast(version, rounds, n);
                fast.shuffle(seed);
                ASSERT_TRUE(jumble_block(*fast.job, n));

                JumbleJob slow(version, rounds, n);
                slow.shuffle(seed);
                reference_jumble(slow.job->cipher, version, rounds, n, slow.map, slow.spare);

                EXPECT_EQ(fast.map, slow.map);
                const CipherState& a = fast.job->cipher;
                const CipherState& b = slow.job->cipher;
                EXPECT_EQ(a.perm_i, b.perm_i);
                EXPECT_EQ(a.perm_j, b.perm_j);
                EXPECT_EQ(a.swap_word, b.swap_word);
                EXPECT_EQ(a.swap_slot - fast.map.data(), b.swap_slot - slow.map.data());
                EXPECT_TRUE(std::equal(a.perm_table, a.perm_table + mask + 1, b.perm_table));
                if (version == 0) {
                    EXPECT_EQ(fast.spare, slow.spare);  // the draw table
                }
            }
        }
    }
}

TEST_F(Jumble, ScatterUndoesGatherForEveryVariant) {
    for (std::uint16_t version = 0; version <= 3; ++version) {
        const std::uint32_t mask = version >= 3 ? 1023u : 255u;
        for (std::uint32_t n : {1u, 2u, mask, mask + 1, 2 * mask + 3}) {
            SCOPED_TRACE(::testing::Message() << "variant " << version << " n " << n);
            JumbleJob j(version, 3, n);
            j.shuffle(n + version);
            ASSERT_TRUE(jumble_block(*j.job, n));
            Map sorted = j.first(n);
            std::sort(sorted.begin(), sorted.end());
            for (std::uint32_t k = 0; k < n; ++k) ASSERT_EQ(sorted[k], k) << "not a permutation";

            const Bytes plain = testing::pattern_bytes(n, n);
            Bytes permuted(n), restored(n);
            gather_block(permuted.data(), plain.data(), j.map.data(), n);
            scatter_block(restored.data(), permuted.data(), j.map.data(), n);
            EXPECT_EQ(restored, plain);
        }
    }
}

TEST_F(Jumble, ReportsProgressBetweenRounds) {
    struct Case {
        std::uint32_t n;
        std::uint32_t rounds;
        std::vector<std::uint64_t> reported_done;  // meter's done_bytes at each report
    };
    const Case cases[] = {
        {65536, 16, {11565, 23130, 34695, 46260, 57825}},
        {32, 4, {19}},
        {32, 1, {}},
        {65536, 1, {}},
        {1, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "n " << c.n << " R " << c.rounds);
        g_reported_done.clear();
        JumbleJob j(3, c.rounds, c.n);
        watch(j);
        ASSERT_TRUE(jumble_block(*j.job, c.n));
        EXPECT_EQ(g_reported_done, c.reported_done);
        const std::uint64_t total = c.reported_done.empty() ? 0 : c.reported_done.back();
        EXPECT_EQ(j.job->block_reported, total);
        EXPECT_EQ(j.job->meter.done_bytes, total);
    }
}

TEST_F(Jumble, ShortBlockReportsAfterTheThirdRound) {
    JumbleJob j(3, 4, 32);
    watch(j);
    ASSERT_TRUE(jumble_block(*j.job, 32));
    // Each round of a 32-byte block draws 32 words from the 1024-entry table.
    EXPECT_EQ(g_perm_i_at_report, std::vector<std::uint32_t>{96});
}

TEST_F(Jumble, PauseAndCancelTakeEffectAfterARound) {
    struct Case {
        const char* name;
        RunState at_start;
        RunState on_report;  // set from inside the meter's report
        int flip_after;      // sleeps before the state changes to flip_to
        RunState flip_to;
        bool completes;
        int sleeps;
        std::uint32_t perm_i;  // 32 draws per round
        std::uint32_t paused_ms;
    };
    const Case cases[] = {
        {"running", RunState::running, RunState::running, 0, RunState::running, true, 0, 128, 0},
        {"cancelled before", RunState::cancelling, RunState::running, 0, RunState::running, false, 0, 32, 0},
        // The report after round 3 takes the paused time out of the meter.
        {"paused, continued", RunState::paused, RunState::running, 3, RunState::running, true, 3, 128, 0},
        {"paused, cancelled", RunState::paused, RunState::running, 2, RunState::cancelling, false, 2, 32, 1000},
        {"paused late, continued", RunState::running, RunState::paused, 2, RunState::running, true, 2, 128, 1000},
        {"paused late, cancelled", RunState::running, RunState::paused, 1, RunState::cancelling, false, 1, 128, 500},
        {"cancelled late", RunState::running, RunState::cancelling, 0, RunState::running, false, 0, 128, 0},
    };
    JumbleJob undisturbed(3, 4, 32);
    ASSERT_TRUE(jumble_block(*undisturbed.job, 32));

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JumbleJob j(3, 4, 32);
        watch(j);
        j.job->run_state.store(c.at_start);
        g_state_on_report = c.on_report;
        g_sleeps = 0;
        g_flip_after = c.flip_after;
        g_flip_to = c.flip_to;
        EXPECT_EQ(jumble_block(*j.job, 32), c.completes);
        EXPECT_EQ(g_sleeps, c.sleeps);
        EXPECT_EQ(j.job->cipher.perm_i, c.perm_i);
        EXPECT_EQ(j.job->meter.paused_ms, c.paused_ms);
        if (c.completes) {
            EXPECT_EQ(j.first(32), undisturbed.first(32));
        }
        EXPECT_EQ(j.job->status, StatusCode::ok);
    }
}

TEST_F(Jumble, BlockLargerThanTheBuffersFailsWithoutTouchingThem) {
    JumbleJob j(3, 2, 16);
    EXPECT_FALSE(jumble_block(*j.job, 17));
    EXPECT_EQ(j.job->status, StatusCode::no_memory);
    EXPECT_EQ(j.map, Map(16, 0xDEADBEEFu));
    EXPECT_EQ(j.job->cipher.perm_i, 0u);
}

}  // namespace
}  // namespace corvane
