// The random parameters: the entropy record's layout, the fixed records of
// the format, and how the random value is spent on the header.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/cipher/entropy.h"
#include "engine/container/bytes.h"
#include "tests/support/scratch.h"

namespace corvane {
namespace {

using testing::Bytes;

struct Rounds {
    std::uint32_t digest, key, table;
    bool operator==(const Rounds&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rounds& r) {
    return os << r.digest << "/" << r.key << "/" << r.table;
}

Rounds rounds_of(const JobContext& job) {
    return {job.header.digest_rounds(), job.header.key_rounds(), job.header.table_rounds()};
}

TEST(Entropy, RecordLayout) {
    platform::EntropyReadings r;
    r.tick = 0x01020304;
    r.process_id = 0x11121314;
    r.thread_id = 0x21222324;
    r.message_time = 0x31323334;
    r.perf_frequency_low = 0x41424344;
    r.perf_counter = 0x5152535455565758;
    r.free_bytes = 0x6162636465666768;
    r.system_time = 0x7172737475767778;
    r.foreground_window = 0x81828384;
    const Bytes memory = testing::pattern_bytes(64, 1), system = testing::pattern_bytes(48, 2),
                window = testing::pattern_bytes(60, 3);
    std::memcpy(r.memory_record, memory.data(), 64);
    std::memcpy(r.system_record, system.data(), 48);
    std::memcpy(r.window_record, window.data(), 60);

    std::uint8_t record[ENTROPY_RECORD_SIZE];
    std::memset(record, 0xCC, sizeof record);
    entropy_record(r, record);

    struct Field {
        std::size_t offset;
        std::uint64_t value;
        int size;
    };
    const Field fields[] = {
        {0, r.tick, 4},
        {4, r.process_id, 4},
        {8, r.thread_id, 4},
        {12, r.message_time, 4},
        {16, r.perf_frequency_low, 4},
        {20, r.perf_counter, 8},
        {28, r.free_bytes, 8},
        {36, r.system_time, 8},
        {44, rot_sum(memory.data(), 64), 4},
        {48, rot_sum(system.data(), 48), 4},
        {52, r.foreground_window, 4},
        {56, rot_sum(window.data(), 60), 4},
    };
    for (const Field& f : fields) {
        const std::uint64_t stored = f.size == 8 ? load64_le(record + f.offset) : load32_le(record + f.offset);
        EXPECT_EQ(stored, f.value) << "offset " << f.offset;
    }
}

TEST(Entropy, FixedRecordsGiveTheirRoundCounts) {
    struct Case {
        const char* name;
        Bytes record;
        Rounds expected;
    };
    Bytes positions(ENTROPY_RECORD_SIZE);
    for (std::size_t p = 0; p < positions.size(); ++p) positions[p] = static_cast<std::uint8_t>(p);
    const Case cases[] = {
        {"zeros", Bytes(ENTROPY_RECORD_SIZE, 0), {28892, 21970, 10672}},
        {"byte equals position", positions, {16384, 8192, 8192}},
    };
    for (const Case& c : cases) {
        std::uint8_t random_value[RANDOM_VALUE_SIZE];
        random_value_from_record(c.record.data(), random_value);
        auto job = std::make_unique<JobContext>();
        apply_random_value(*job, random_value);
        EXPECT_EQ(rounds_of(*job), c.expected) << c.name;
    }
    // The position record stirs to nothing at all.
    std::uint8_t random_value[RANDOM_VALUE_SIZE];
    random_value_from_record(positions.data(), random_value);
    EXPECT_EQ(Bytes(random_value, random_value + RANDOM_VALUE_SIZE), Bytes(RANDOM_VALUE_SIZE, 0));
}

TEST(Entropy, RoundCountsTakeBigEndianPairsUnderTheirMasks) {
    struct Case {
        std::size_t at;  // first byte of the pair
        std::uint8_t high, low;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {16, 0xFF, 0xFF, 49151}, {16, 0x80, 0x00, 16384}, {16, 0x7F, 0xFF, 49151}, {16, 0x00, 0x01, 16385},
        {16, 0x01, 0x00, 16640}, {18, 0xC0, 0x00, 8192},  {18, 0xFF, 0xFF, 24575}, {18, 0x00, 0x01, 8193},
        {18, 0x01, 0x00, 8448},  {20, 0xC0, 0x00, 8192},  {20, 0x3F, 0xFF, 24575}, {20, 0x00, 0x02, 8194},
    };
    for (const Case& c : cases) {
        std::uint8_t random_value[RANDOM_VALUE_SIZE] = {};
        random_value[c.at] = c.high;
        random_value[c.at + 1] = c.low;
        auto job = std::make_unique<JobContext>();
        apply_random_value(*job, random_value);
        const Rounds got = rounds_of(*job);
        const std::uint32_t value = c.at == 16 ? got.digest : c.at == 18 ? got.key : got.table;
        EXPECT_EQ(value, c.expected) << "bytes " << c.at << ": " << int(c.high) << " " << int(c.low);
    }
}

TEST(Entropy, SaltAndFillerComeFromTheirBytesAndTheLengthByteStays) {
    Bytes random_value(RANDOM_VALUE_SIZE);
    for (std::size_t k = 0; k < random_value.size(); ++k) random_value[k] = static_cast<std::uint8_t>(0xA0 + k);
    auto job = std::make_unique<JobContext>();
    job->short_buffer[SHORT_FILE_SIZE - 1] = 17;
    const auto header_before = job->header.bytes;
    apply_random_value(*job, random_value.data());

    EXPECT_EQ(Bytes(job->header.salt(), job->header.salt() + 16), Bytes(random_value.begin(), random_value.begin() + 16));
    EXPECT_EQ(Bytes(job->short_buffer, job->short_buffer + 31), Bytes(random_value.begin() + 22, random_value.begin() + 53));
    EXPECT_EQ(job->short_buffer[31], 17);
    // Nothing else in the header changes.
    for (std::size_t k = 0; k < HEADER_SIZE; ++k) {
        const bool written = (k >= 16 && k < 32) || (k >= 64 && k < 76);
        if (!written) {
            EXPECT_EQ(job->header.bytes[k], header_before[k]) << "header byte " << k;
        }
    }
}

TEST(Entropy, EachSeedingIsFresh) {
    auto first = std::make_unique<JobContext>();
    auto second = std::make_unique<JobContext>();
    seed_header(*first);
    seed_header(*second);
    EXPECT_NE(Bytes(first->header.salt(), first->header.salt() + 16),
              Bytes(second->header.salt(), second->header.salt() + 16));
    for (const auto* job : {first.get(), second.get()}) {
        const Rounds r = rounds_of(*job);
        EXPECT_GE(r.digest, 16384u);
        EXPECT_LE(r.digest, 49151u);
        EXPECT_GE(r.key, 8192u);
        EXPECT_LE(r.key, 24575u);
        EXPECT_GE(r.table, 8192u);
        EXPECT_LE(r.table, 24575u);
    }
}

}  // namespace
}  // namespace corvane
