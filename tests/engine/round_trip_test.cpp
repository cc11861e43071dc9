// Round trips through every schedule variant, Jumble round count, source
// length at and around the block edges, and key-file use; containers of the
// two earliest versions and key-file pads come from the test-side writer.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

#include "engine/cipher/entropy.h"
#include "tests/engine/container_fixture.h"

namespace corvane {
namespace {

using namespace corvane::testing;

constexpr std::uint32_t BLOCK = 2048;
const std::size_t kSizes[] = {0, 1, 5, 31, 32, 33, BLOCK - 1, BLOCK, BLOCK + 1, 3 * BLOCK, 3 * BLOCK + 1};

std::uint64_t stored_size(std::size_t size) { return size < SHORT_FILE_SIZE ? SHORT_FILE_SIZE : size; }

enum class KeyUse { none, mixed };

class EngineRoundTrip : public ::testing::TestWithParam<std::tuple<std::uint16_t, std::uint32_t, KeyUse>> {};

TEST_P(EngineRoundTrip, RestoresEverySize) {
    const auto [schedule, rounds, key_use] = GetParam();
    const fs::path dir = scratch_dir();
    const fs::path key = dir / "key";
    write_file(key, pattern_bytes(777, 42));
    for (std::size_t size : kSizes) {
        SCOPED_TRACE(size);
        const Bytes plain = pattern_bytes(size, static_cast<std::uint32_t>(size) + 1);
        write_file(dir / "plain.bin", plain);
        EncryptOptions o;
        o.schedule_version = schedule;
        o.jumble_rounds = rounds;
        o.block_size = BLOCK;
        o.password = u"p\u00e4ss \U0001F511";
        o.keyfile = key_use == KeyUse::mixed ? &key : nullptr;
        ASSERT_EQ(encrypt_with_engine(dir / "plain.bin", dir / "c.qvk", o), StatusCode::ok);

        const std::uint64_t file_size = stored_size(size);
        EXPECT_EQ(fs::file_size(dir / "c.qvk"), HEADER_SIZE + 8 * block_count(file_size, BLOCK) + file_size + 16);
        EXPECT_EQ(verify_with_engine(dir / "c.qvk"), StatusCode::ok);

        fs::remove(dir / "out.bin");
        const DecryptResult r = decrypt_with_engine(dir / "c.qvk", dir / "out.bin", o.password, o.keyfile);
        ASSERT_EQ(r.status, StatusCode::ok);
        EXPECT_EQ(r.plain, plain);
        EXPECT_TRUE(fs::exists(dir / "out.bin"));  // an empty source gives an empty file
        EXPECT_EQ(r.header.file_size(), size);
        char16_t name[256];
        header_file_name(r.header, name);
        EXPECT_EQ(std::u16string(name), u"plain.bin");
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, EngineRoundTrip,
                         ::testing::Combine(::testing::Values(std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{2},
                                                              std::uint16_t{3}),
                                            ::testing::Values(0u, 1u, 7u),
                                            ::testing::Values(KeyUse::none, KeyUse::mixed)));

// Version-2 containers whose key file is a pad (FLAG_MIXED_KEYFILE clear):
// the engine reads them but never writes them.
class PadRoundTrip : public ::testing::TestWithParam<std::tuple<std::uint16_t, std::uint32_t, std::size_t>> {};

TEST_P(PadRoundTrip, RestoresEverySize) {
    const auto [schedule, rounds, key_size] = GetParam();
    const fs::path dir = scratch_dir();
    const fs::path key = dir / "key";
    write_file(key, pattern_bytes(key_size, 17));
    for (std::size_t size : kSizes) {
        SCOPED_TRACE(size);
        const Bytes plain = pattern_bytes(size, static_cast<std::uint32_t>(size) + 1);
        const bool is_short = size < SHORT_FILE_SIZE;
        Bytes stream_plain = plain;
        if (is_short) {
            stream_plain = pattern_bytes(32, 99);  // filler
            std::copy(plain.begin(), plain.end(), stream_plain.begin());
            stream_plain[31] = static_cast<std::uint8_t>(size);
        }
        ContainerHeader h = valid_header(stored_size(size), BLOCK);
        h.set_flags(is_short ? FLAG_SHORT_FILE : 0);
        h.set_schedule_version(schedule);
        h.set_jumble_rounds(rounds);
        reseal(h);
        StreamPlan plan;
        plan.header = h;
        plan.keyfile = &key;
        write_file(dir / "c.qvk", concat(header_bytes(h), write_test_stream(plan, stream_plain)));

        EXPECT_EQ(verify_with_engine(dir / "c.qvk"), StatusCode::ok);
        const DecryptResult r = decrypt_with_engine(dir / "c.qvk", dir / "out.bin", plan.password, &key);
        ASSERT_EQ(r.status, StatusCode::ok);
        EXPECT_EQ(r.plain, plain);
        if (key_size != 0) {
            // Without the key file the pad is missing.
            EXPECT_EQ(decrypt_with_engine(dir / "c.qvk", dir / "out.bin", plan.password).status,
                      StatusCode::wrong_key);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, PadRoundTrip,
                         ::testing::Combine(::testing::Values(std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{2},
                                                              std::uint16_t{3}),
                                            ::testing::Values(0u, 1u, 7u),
                                            ::testing::Values(std::size_t{0}, std::size_t{20}, std::size_t{5000})));

// Containers of format versions 0 and 1, header and all, byte by byte.
struct LegacyCase {
    std::uint8_t version;
    std::uint16_t mode_word;
    std::uint32_t block_size;
    bool pad;
    bool short_blocks;
};

class LegacyRoundTrip : public ::testing::TestWithParam<LegacyCase> {};

TEST_P(LegacyRoundTrip, RestoresEverySize) {
    const LegacyCase c = GetParam();
    const fs::path dir = scratch_dir();
    const fs::path key = dir / "key";
    write_file(key, pattern_bytes(300, 23));
    for (std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{c.block_size - 1},
                             std::size_t{c.block_size}, std::size_t{c.block_size + 1},
                             std::size_t{3 * c.block_size + 1}}) {
        SCOPED_TRACE(size);
        const Bytes plain = pattern_bytes(size, static_cast<std::uint32_t>(size) + 5);
        LegacyFields f;
        f.version = c.version;
        f.mode_word = c.mode_word;
        f.block_size = c.block_size;
        f.file_size = size;
        f.name = c.version == 0 ? u"caf\u00e9.txt" : u"\u65e5\u8a18.txt";
        StreamPlan plan;
        plan.header = legacy_image(f);
        plan.format_version = c.version;
        plan.keyfile = c.pad ? &key : nullptr;
        if (c.short_blocks)
            plan.block_length = [](std::uint32_t i, std::uint32_t e) { return i % 3 == 1 ? (e + 1) / 2 : e; };
        write_file(dir / "old.qvk", concat(legacy_bytes(f), write_test_stream(plan, plain)));

        EXPECT_EQ(verify_with_engine(dir / "old.qvk"), StatusCode::ok);
        const DecryptResult r = decrypt_with_engine(dir / "old.qvk", dir / "out.bin", plan.password, plan.keyfile);
        ASSERT_EQ(r.status, StatusCode::ok);
        EXPECT_EQ(r.plain, plain);
        char16_t name[256];
        header_file_name(r.header, name);
        EXPECT_EQ(std::u16string(name), f.name);
        EXPECT_EQ(decrypt_with_engine(dir / "old.qvk", dir / "out.bin", u"other").status, StatusCode::wrong_key);
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, LegacyRoundTrip,
                         ::testing::Values(LegacyCase{0, 256, 2048, false, false}, LegacyCase{1, 256, 2048, true, false},
                                           LegacyCase{0, 512, 4096, true, true}, LegacyCase{1, 512, 2048, false, true},
                                           LegacyCase{0, 528, 2304, false, false},  // 9 rounds
                                           LegacyCase{1, 528, 2304, true, true}));

// The whole encryption as the driver runs it, with random key parameters.
TEST(SeededRoundTrip, RandomParametersAndTheDefaultBlockChoice) {
    const fs::path dir = scratch_dir();
    write_file(dir / "key", pattern_bytes(70000, 3));
    for (std::size_t size : {std::size_t{3}, std::size_t{100003}}) {
        SCOPED_TRACE(size);
        const Bytes plain = pattern_bytes(size, 77);
        write_file(dir / "plain.bin", plain);
        auto job = new_job();
        job->run_state.store(RunState::running);
        ASSERT_EQ(open_source(*job, (dir / "plain.bin").u16string().c_str()), StatusCode::ok);
        fill_header(*job, 2, 32768, u"hint", u"plain.bin");
        job->keyfile_handle = platform::open_read((dir / "key").u16string().c_str());
        job->output_handle = platform::create_write((dir / "c.qvk").u16string().c_str());
        seed_header(*job);
        ASSERT_EQ(schedule_key(*job, u"pw"), StatusCode::ok);
        ASSERT_EQ(write_stream(*job), StatusCode::ok);
        const ContainerHeader written = job->header;
        release_job(*job);

        const fs::path key = dir / "key";
        const DecryptResult r = decrypt_with_engine(dir / "c.qvk", dir / "out.bin", u"pw", &key);
        ASSERT_EQ(r.status, StatusCode::ok);
        EXPECT_EQ(r.plain, plain);
        EXPECT_EQ(r.header.block_size(), written.block_size());
        EXPECT_EQ(verify_with_engine(dir / "c.qvk"), StatusCode::ok);
    }
}

}  // namespace
}  // namespace corvane
