// A Stream round trip of a sparse source of 4 GiB + 12345 bytes: file_size
// needs its high half, and with a requested block of 32768 the block count
// passes 65536, so every 64-bit count and the encryption reserve's block
// shift are exercised on a real file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "engine/container/block_stream.h"
#include "jobs/file_jobs.h"
#include "platform/platform.h"
#include "tests/support/scratch.h"
#include "tests/support/job_helpers.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::facts_of;
using testing::u16;

constexpr std::uint64_t GIB = 1ull << 30;
constexpr std::uint64_t SOURCE_SIZE = 4 * GIB + 12345;
constexpr std::uint64_t NEEDED_FREE = 10 * GIB;
constexpr std::uint32_t REQUESTED_BLOCK = 32768;
constexpr const char16_t* PASSWORD = u"large and sparse";

// The few written regions of the otherwise empty source: its start, a spot in
// the middle, across the 4 GiB mark, and its last bytes.
struct Region {
    std::uint64_t offset;
    std::size_t size;
};
const Region REGIONS[] = {
    {0, 4096}, {GIB + 777, 65536}, {4 * GIB - 3000, 6000}, {SOURCE_SIZE - 100, 100}};

struct Digest {
    std::uint64_t size = 0;
    std::uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a over 8-byte words, then the tail
    std::uint32_t byte_sum = 0;                  // what the trailer carries
};

Digest digest_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chunk(8u << 20);
    Digest d;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk.data());
        std::size_t i = 0;
        for (; i + 8 <= got; i += 8) {
            const std::uint64_t w = load64_le(bytes + i);
            d.hash = (d.hash ^ w) * 0x100000001B3ull;
            for (int k = 0; k < 8; ++k) d.byte_sum += bytes[i + static_cast<std::size_t>(k)];
        }
        for (; i < got; ++i) {
            d.hash = (d.hash ^ bytes[i]) * 0x100000001B3ull;
            d.byte_sum += bytes[i];
        }
        d.size += got;
    }
    return d;
}

// Removes the big files however the test ends.
struct Cleanup {
    fs::path dir;
    ~Cleanup() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(LargeFile, StreamRoundTripAboveFourGibibytes) {
    const fs::path dir = testing::scratch_dir();
    Cleanup cleanup{dir};
    const std::uint64_t free = fs::space(dir).available;
    if (free < NEEDED_FREE)
        GTEST_SKIP() << "needs 10 GiB free in " << dir << ", has " << free / GIB << " GiB: large round trip not run";

    const fs::path source = dir / "sparse.bin";
    const fs::path container = dir / "sparse.bin.qvk";
    const fs::path restored = dir / "restored.bin";
    {
        std::ofstream out(source, std::ios::binary | std::ios::trunc);
        ASSERT_TRUE(out.good());
    }
    fs::resize_file(source, SOURCE_SIZE);
    {
        std::fstream out(source, std::ios::binary | std::ios::in | std::ios::out);
        std::uint32_t seed = 1;
        for (const Region& r : REGIONS) {
            const testing::Bytes bytes = testing::pattern_bytes(r.size, seed++);
            out.seekp(static_cast<std::streamoff>(r.offset));
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        }
        ASSERT_TRUE(out.good());
    }
    const Digest want = digest_of(source);
    ASSERT_EQ(want.size, SOURCE_SIZE);
    const platform::FileFacts source_facts = facts_of(source);

    auto job = std::make_unique<JobContext>();
    const auto encrypt_start = std::chrono::steady_clock::now();
    const std::uint32_t request = requested_block_size(REQUESTED_BLOCK, 0);
    ASSERT_EQ(encrypt_file(*job, u16(source).c_str(), u16(container).c_str(), nullptr, PASSWORD, nullptr, request, 0,
                           nullptr),
              StatusCode::ok);
    const double encrypt_seconds = seconds_since(encrypt_start);

    const ContainerHeader& h = job->header;
    EXPECT_EQ(h.file_size(), SOURCE_SIZE);
    EXPECT_EQ(load32_le(&h.bytes[header_offset::file_size + 4]), 1u);  // the high half
    EXPECT_EQ(h.jumble_rounds(), 0u);
    const std::uint32_t block = h.block_size();
    ASSERT_GE(block, REQUESTED_BLOCK / 2);
    ASSERT_LE(block, REQUESTED_BLOCK + REQUESTED_BLOCK / 2);
    const std::uint64_t blocks = (SOURCE_SIZE + block - 1) / block;
    EXPECT_GT(blocks, 65536u);
    EXPECT_EQ(fs::file_size(container), HEADER_SIZE + BLOCK_HEAD_SIZE * blocks + SOURCE_SIZE + TRAILER_SIZE);

    // The trailer carries the sum of every plaintext byte in its three forms.
    {
        std::ifstream in(container, std::ios::binary);
        in.seekg(-static_cast<std::streamoff>(TRAILER_SIZE), std::ios::end);
        std::uint8_t trailer[TRAILER_SIZE] = {};
        in.read(reinterpret_cast<char*>(trailer), TRAILER_SIZE);
        ASSERT_EQ(in.gcount(), static_cast<std::streamsize>(TRAILER_SIZE));
        EXPECT_EQ(load32_le(trailer), 0u);
        EXPECT_EQ(load32_le(trailer + 4), want.byte_sum);
        EXPECT_EQ(load32_le(trailer + 8), rol32(want.byte_sum, 1));
        EXPECT_EQ(load32_le(trailer + 12), ~want.byte_sum);
    }

    const auto test_start = std::chrono::steady_clock::now();
    EXPECT_EQ(test_file(*job, u16(container).c_str(), nullptr), StatusCode::ok);
    const double test_seconds = seconds_since(test_start);

    const auto decrypt_start = std::chrono::steady_clock::now();
    ASSERT_EQ(decrypt_file(*job, u16(container).c_str(), u16(restored).c_str(), nullptr, PASSWORD, nullptr),
              StatusCode::ok);
    const double decrypt_seconds = seconds_since(decrypt_start);
    fs::remove(container);

    const Digest got = digest_of(restored);
    EXPECT_EQ(got.size, SOURCE_SIZE);
    EXPECT_EQ(got.hash, want.hash);
    EXPECT_EQ(got.byte_sum, want.byte_sum);
    EXPECT_EQ(facts_of(restored).write_time, source_facts.write_time);

    std::printf("[ large    ] %llu bytes in %llu blocks of %u: encrypt %.1f s, test %.1f s, decrypt %.1f s\n",
                static_cast<unsigned long long>(SOURCE_SIZE), static_cast<unsigned long long>(blocks), block,
                encrypt_seconds, test_seconds, decrypt_seconds);
}

}  // namespace
}  // namespace corvane
