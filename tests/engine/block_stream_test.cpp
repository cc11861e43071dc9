// The block records and the trailer: damage, truncation, wrong keys, the
// trailer's forms, the key-file pad, cancelling and progress.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <string>
#include <vector>

#include "tests/engine/container_fixture.h"

namespace corvane {
namespace {

using namespace corvane::testing;

constexpr std::uint32_t BLOCK = 2048;
constexpr std::size_t RECORDS_START = HEADER_SIZE;

struct Made {
    fs::path container;
    Bytes plain;
    Bytes bytes;
};

Made make_container(const fs::path& dir, std::size_t size, EncryptOptions o = {}) {
    Made m;
    m.plain = pattern_bytes(size, static_cast<std::uint32_t>(size) + 3);
    write_file(dir / "plain.bin", m.plain);
    m.container = dir / "plain.qvk";
    EXPECT_EQ(encrypt_with_engine(dir / "plain.bin", m.container, o), StatusCode::ok);
    m.bytes = read_file(m.container);
    return m;
}

struct Outcome {
    StatusCode read;
    StatusCode verify;
};

Outcome check_bytes(const fs::path& dir, const Bytes& bytes, const std::u16string& password = u"secret") {
    const fs::path file = dir / "damaged.qvk";
    write_file(file, bytes);
    return {decrypt_with_engine(file, dir / "out.bin", password).status, verify_with_engine(file)};
}

TEST(BlockStream, ContainerSizeFollowsTheBlocks) {
    const fs::path dir = scratch_dir();
    const struct {
        std::size_t size;
        std::uint64_t blocks;
        std::uint64_t file_size;
    } cases[] = {{0, 1, 32}, {5, 1, 32}, {31, 1, 32}, {32, 1, 32}, {33, 1, 33},
                 {BLOCK, 1, BLOCK}, {BLOCK + 1, 2, BLOCK + 1}, {3 * BLOCK, 3, 3 * BLOCK}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        EncryptOptions o;
        o.block_size = BLOCK;
        const Made m = make_container(dir, c.size, o);
        EXPECT_EQ(m.bytes.size(), HEADER_SIZE + 8 * c.blocks + c.file_size + TRAILER_SIZE);
        // Every record is full but the last.
        std::size_t at = RECORDS_START;
        for (std::uint64_t b = 0; b < c.blocks; ++b) {
            const std::uint32_t n = load32_le(&m.bytes[at]);
            const std::uint64_t left = c.file_size - b * BLOCK;
            EXPECT_EQ(n, left < BLOCK ? left : BLOCK);
            EXPECT_EQ(load32_le(&m.bytes[at + 4]), rot_sum(&m.bytes[at + 8], n));
            at += 8 + n;
        }
        EXPECT_EQ(load32_le(&m.bytes[at]), 0u);
        const std::uint32_t sum = load32_le(&m.bytes[at + 4]);
        EXPECT_EQ(load32_le(&m.bytes[at + 8]), rol32(sum, 1));
        EXPECT_EQ(load32_le(&m.bytes[at + 12]), ~sum);
    }
}

TEST(BlockStream, TrailerForms) {
    const fs::path dir = scratch_dir();
    enum class Edit { none, word1, word0, cut_to_8, cut_to_12, cut_to_7, word1_cut_to_8, extra_bytes };
    struct Case {
        const char* what;
        Edit edit;
        StatusCode read_s0, read_s123, verify_s0, verify_s123;
    };
    const Case cases[] = {
        {"intact", Edit::none, StatusCode::ok, StatusCode::ok, StatusCode::ok, StatusCode::ok},
        {"word 1 altered", Edit::word1, StatusCode::wrong_key, StatusCode::damaged, StatusCode::ok,
         StatusCode::damaged},
        {"word 0 not zero", Edit::word0, StatusCode::damaged, StatusCode::damaged, StatusCode::damaged,
         StatusCode::damaged},
        {"8 bytes", Edit::cut_to_8, StatusCode::ok, StatusCode::ok, StatusCode::ok, StatusCode::damaged},
        {"12 bytes", Edit::cut_to_12, StatusCode::ok, StatusCode::ok, StatusCode::ok, StatusCode::damaged},
        {"7 bytes", Edit::cut_to_7, StatusCode::truncated, StatusCode::truncated, StatusCode::truncated,
         StatusCode::truncated},
        {"8 bytes, sum altered", Edit::word1_cut_to_8, StatusCode::wrong_key, StatusCode::damaged, StatusCode::ok,
         StatusCode::damaged},
        {"bytes after the trailer", Edit::extra_bytes, StatusCode::ok, StatusCode::ok, StatusCode::ok,
         StatusCode::ok},
    };
    for (std::uint16_t schedule = 0; schedule <= 3; ++schedule) {
        EncryptOptions o;
        o.schedule_version = schedule;
        o.block_size = BLOCK;
        const Made m = make_container(dir, 5000, o);
        const std::size_t trailer = m.bytes.size() - TRAILER_SIZE;
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << "schedule " << schedule << ": " << c.what);
            Bytes bytes = m.bytes;
            switch (c.edit) {
            case Edit::none: break;
            case Edit::word1: bytes[trailer + 4] ^= 1; break;
            case Edit::word0: bytes[trailer + 3] = 0x80; break;
            case Edit::cut_to_8: bytes.resize(trailer + 8); break;
            case Edit::cut_to_12: bytes.resize(trailer + 12); break;
            case Edit::cut_to_7: bytes.resize(trailer + 7); break;
            case Edit::word1_cut_to_8:
                bytes[trailer + 4] ^= 1;
                bytes.resize(trailer + 8);
                break;
            case Edit::extra_bytes: bytes.insert(bytes.end(), 100, 0xEE); break;
            }
            const Outcome got = check_bytes(dir, bytes);
            EXPECT_EQ(got.read, schedule == 0 ? c.read_s0 : c.read_s123);
            EXPECT_EQ(got.verify, schedule == 0 ? c.verify_s0 : c.verify_s123);
        }
    }
}

TEST(BlockStream, CutAnywhereInsideTheRecordsIsTruncation) {
    const fs::path dir = scratch_dir();
    EncryptOptions o;
    o.block_size = BLOCK;
    o.jumble_rounds = 0;
    const Made m = make_container(dir, BLOCK + 100, o);
    const std::size_t trailer = m.bytes.size() - TRAILER_SIZE;
    // Every cut from the first record head up to and including the bare end of the last record.
    for (std::size_t cut = RECORDS_START; cut <= trailer; ++cut) {
        SCOPED_TRACE(cut);
        const Bytes bytes(m.bytes.begin(), m.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        const fs::path file = dir / "cut.qvk";
        write_file(file, bytes);
        ASSERT_EQ(verify_with_engine(file), StatusCode::truncated);
        // Reading deciphers on the way; every 37th cut and the record edges are enough there.
        const std::size_t in_record = (cut - RECORDS_START) % (8 + BLOCK);
        if (cut % 37 == 0 || in_record <= 8 || cut == trailer) {
            ASSERT_EQ(decrypt_with_engine(file, dir / "out.bin").status, StatusCode::truncated);
        }
    }
}

TEST(BlockStream, AnyChangedStoredByteIsDamage) {
    const fs::path dir = scratch_dir();
    for (std::uint32_t rounds : {0u, 3u}) {
        EncryptOptions o;
        o.block_size = BLOCK;
        o.jumble_rounds = rounds;
        const Made m = make_container(dir, BLOCK + 100, o);
        const std::size_t trailer = m.bytes.size() - TRAILER_SIZE;
        for (std::size_t pos = RECORDS_START; pos < trailer; ++pos) {
            SCOPED_TRACE(::testing::Message() << rounds << " rounds, byte " << pos);
            Bytes bytes = m.bytes;
            bytes[pos] ^= 0x40;
            const fs::path file = dir / "bad.qvk";
            write_file(file, bytes);
            ASSERT_EQ(verify_with_engine(file), StatusCode::damaged);
            if (pos % 11 == 0 || (pos - RECORDS_START) % (8 + BLOCK) < 8) {
                ASSERT_EQ(decrypt_with_engine(file, dir / "out.bin").status, StatusCode::damaged);
            }
        }
    }
}

TEST(BlockStream, StoredLengthMustBeTheExpectedOneInVersion2) {
    const fs::path dir = scratch_dir();
    EncryptOptions o;
    o.block_size = BLOCK;
    const Made m = make_container(dir, 2 * BLOCK + 100, o);
    const std::size_t second = RECORDS_START + 8 + BLOCK;
    const struct {
        std::size_t at;
        std::uint32_t length;
    } cases[] = {{RECORDS_START, BLOCK - 1}, {RECORDS_START, BLOCK + 1}, {RECORDS_START, 0},
                 {RECORDS_START, 0xFFFFFFFF}, {second, 1}, {second + 8 + BLOCK, 99}, {second + 8 + BLOCK, 101}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.at << ": " << c.length);
        Bytes bytes = m.bytes;
        store32_le(&bytes[c.at], c.length);
        const Outcome got = check_bytes(dir, bytes);
        EXPECT_EQ(got.read, StatusCode::damaged);
        EXPECT_EQ(got.verify, StatusCode::damaged);
    }
}

TEST(BlockStream, WrongKeyIsToldFromDamage) {
    const fs::path dir = scratch_dir();
    write_file(dir / "key-a", pattern_bytes(3000, 1));
    write_file(dir / "key-b", pattern_bytes(3000, 2));
    const fs::path key_a = dir / "key-a";
    const fs::path key_b = dir / "key-b";
    const struct {
        const char* what;
        const fs::path* encrypt_key;
        std::u16string password;
        const fs::path* decrypt_key;
    } cases[] = {
        {"wrong password", nullptr, u"Secret", nullptr},
        {"empty password", nullptr, u"", nullptr},
        {"key file missing", &key_a, u"secret", nullptr},
        {"other key file", &key_a, u"secret", &key_b},
        {"key file not used for encryption", nullptr, u"secret", &key_a},
    };
    for (std::size_t size : {std::size_t{5}, std::size_t{3 * BLOCK + 7}}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << size << ": " << c.what);
            EncryptOptions o;
            o.block_size = BLOCK;
            o.keyfile = c.encrypt_key;
            const Made m = make_container(dir, size, o);
            const DecryptResult r = decrypt_with_engine(m.container, dir / "out.bin", c.password, c.decrypt_key);
            EXPECT_EQ(r.status, StatusCode::wrong_key);
            // Every block was deciphered and written before the trailer told; a
            // short source's length byte is deciphered wrongly too.
            if (size >= SHORT_FILE_SIZE) {
                EXPECT_EQ(r.plain.size(), size);
            } else {
                EXPECT_LE(r.plain.size(), 31u);
            }
            EXPECT_NE(r.plain, m.plain);
            EXPECT_EQ(verify_with_engine(m.container), StatusCode::ok);
        }
    }
}

TEST(BlockStream, ShortBlockLengthByteIsCappedAt31) {
    const fs::path dir = scratch_dir();
    for (std::uint8_t stored_length : {std::uint8_t{0}, std::uint8_t{31}, std::uint8_t{32}, std::uint8_t{255}}) {
        SCOPED_TRACE(int{stored_length});
        ContainerHeader h = valid_header(32, 32);
        h.set_flags(FLAG_MIXED_KEYFILE | FLAG_SHORT_FILE);
        h.set_jumble_rounds(2);
        reseal(h);
        Bytes block = pattern_bytes(32, 9);
        block[31] = stored_length;
        StreamPlan plan;
        plan.header = h;
        write_file(dir / "s.qvk", concat(header_bytes(h), write_test_stream(plan, block)));
        const DecryptResult r = decrypt_with_engine(dir / "s.qvk", dir / "out.bin");
        ASSERT_EQ(r.status, StatusCode::ok);
        const std::size_t len = stored_length > 31 ? 31 : stored_length;
        EXPECT_EQ(r.plain, Bytes(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(len)));
        EXPECT_EQ(r.header.file_size(), len);
    }
}

Bytes pad_from(const Bytes& key, std::initializer_list<std::pair<int, int>> runs) {
    Bytes out;
    for (const auto& [from, to] : runs)
        for (int i = from; i <= to; ++i) out.push_back(key[static_cast<std::size_t>(i)]);
    return out;
}

struct PadJob {
    std::unique_ptr<JobContext> job = new_job();
    PadJob(const fs::path& key, std::uint32_t block) {
        job->header = valid_header();
        job->header.set_flags(0);
        job->keyfile_handle = platform::open_read(key.u16string().c_str());
        EXPECT_EQ(allocate_buffers(*job, block, false, true), StatusCode::ok);
    }
    ~PadJob() { release_job(*job); }
    // The pad of the next n bytes, seen through a block of zeros.
    Bytes next(std::uint32_t n) {
        std::fill(job->block_buffer, job->block_buffer + n, std::uint8_t{0});
        EXPECT_EQ(apply_key_pad(*job, n), StatusCode::ok);
        return Bytes(job->block_buffer, job->block_buffer + n);
    }
};

TEST(KeyPad, ShortKeyFileLoopsAndFillsFromTheBlocksOwnPad) {
    const fs::path dir = scratch_dir();
    const Bytes key = pattern_bytes(20, 4);
    write_file(dir / "key", key);
    PadJob p(dir / "key", 32);
    EXPECT_EQ(p.next(32), pad_from(key, {{0, 19}, {0, 11}}));
    EXPECT_EQ(p.next(32), pad_from(key, {{12, 19}, {0, 19}, {12, 15}}));
    // The file now stands at its end: the next block reads it whole once more.
    EXPECT_EQ(p.next(32), pad_from(key, {{0, 19}, {0, 11}}));
    EXPECT_EQ(p.next(5), pad_from(key, {{0, 4}}));
}

TEST(KeyPad, LongKeyFileIsAnEndlessLoop) {
    const fs::path dir = scratch_dir();
    for (std::size_t size : {std::size_t{32}, std::size_t{33}, std::size_t{50}, std::size_t{64}}) {
        SCOPED_TRACE(size);
        const Bytes key = pattern_bytes(size, 6);
        write_file(dir / "key", key);
        PadJob p(dir / "key", 32);
        std::size_t at = 0;
        for (std::uint32_t n : {32u, 32u, 7u, 32u, 32u, 32u}) {
            Bytes expected;
            for (std::uint32_t i = 0; i < n; ++i) expected.push_back(key[(at + i) % size]);
            EXPECT_EQ(p.next(n), expected);
            at += n;
        }
    }
}

TEST(KeyPad, EmptyKeyFileAndNoPadLeaveTheBlock) {
    const fs::path dir = scratch_dir();
    write_file(dir / "empty", {});
    PadJob p(dir / "empty", 32);
    const Bytes content = pattern_bytes(32, 8);
    std::copy(content.begin(), content.end(), p.job->block_buffer);
    EXPECT_EQ(apply_key_pad(*p.job, 32), StatusCode::ok);
    EXPECT_EQ(Bytes(p.job->block_buffer, p.job->block_buffer + 32), content);

    auto mixed = new_job();
    mixed->header = valid_header();  // FLAG_MIXED_KEYFILE set: no pad buffer
    ASSERT_EQ(allocate_buffers(*mixed, 32, false, true), StatusCode::ok);
    std::copy(content.begin(), content.end(), mixed->block_buffer);
    EXPECT_EQ(apply_key_pad(*mixed, 32), StatusCode::ok);
    EXPECT_EQ(Bytes(mixed->block_buffer, mixed->block_buffer + 32), content);
    release_job(*mixed);
}

TEST(BlockStream, CancelStopsAfterTheCurrentBlock) {
    const fs::path dir = scratch_dir();
    for (std::uint32_t rounds : {0u, 3u}) {
        SCOPED_TRACE(rounds);
        const Bytes plain = pattern_bytes(3 * BLOCK, 5);
        write_file(dir / "plain.bin", plain);
        EncryptOptions o;
        o.block_size = BLOCK;
        o.jumble_rounds = rounds;
        o.run_state = RunState::cancelling;
        EXPECT_EQ(encrypt_with_engine(dir / "plain.bin", dir / "c.qvk", o), StatusCode::ok);
        // Without the Jumble the first block is finished and written; with it the
        // cancel is seen inside the block, which is then not written.
        EXPECT_EQ(read_file(dir / "c.qvk").size(), HEADER_SIZE + (rounds == 0 ? 8 + BLOCK : 0));

        o.run_state = RunState::running;
        EXPECT_EQ(encrypt_with_engine(dir / "plain.bin", dir / "c.qvk", o), StatusCode::ok);
        const DecryptResult r =
            decrypt_with_engine(dir / "c.qvk", dir / "out.bin", u"secret", nullptr, RunState::cancelling);
        EXPECT_EQ(r.status, StatusCode::ok);
        EXPECT_EQ(r.plain.size(), rounds == 0 ? BLOCK : 0u);
        EXPECT_EQ(verify_with_engine(dir / "c.qvk", RunState::cancelling), StatusCode::ok);
    }
}

TEST(BlockStream, MeterAdvancesByExactlyTheStream) {
    const fs::path dir = scratch_dir();
    const std::size_t size = 3 * BLOCK + 100;
    write_file(dir / "plain.bin", pattern_bytes(size, 2));
    EncryptOptions o;
    o.block_size = BLOCK;
    o.jumble_rounds = 16;  // the Jumble reports part of each block itself
    ASSERT_EQ(encrypt_with_engine(dir / "plain.bin", dir / "c.qvk", o), StatusCode::ok);

    auto job = new_job();
    job->meter.total_mib = 1;
    ASSERT_EQ(open_container(*job, (dir / "c.qvk").u16string().c_str()), StatusCode::ok);
    job->output_handle = platform::create_write((dir / "out.bin").u16string().c_str());
    ASSERT_EQ(schedule_key(*job, u"secret"), StatusCode::ok);
    ASSERT_EQ(read_stream(*job), StatusCode::ok);
    EXPECT_EQ(job->meter.done_bytes, size);
    release_job(*job);

    auto test = new_job();
    test->meter.total_mib = 1;
    ASSERT_EQ(open_container(*test, (dir / "c.qvk").u16string().c_str()), StatusCode::ok);
    ASSERT_EQ(verify_stream(*test), StatusCode::ok);
    EXPECT_EQ(test->meter.done_bytes, size);
    release_job(*test);
}

TEST(BlockStream, SourceThatChangedSizeIsTruncation) {
    const fs::path dir = scratch_dir();
    const std::size_t size = 2 * BLOCK + 10;
    write_file(dir / "plain.bin", pattern_bytes(size, 2));
    for (std::size_t now : {size - 1, size + 1, size - BLOCK, std::size_t{0}}) {
        SCOPED_TRACE(now);
        auto job = new_job();
        ASSERT_EQ(open_source(*job, (dir / "plain.bin").u16string().c_str()), StatusCode::ok);
        fill_header(*job, 0, 32768, nullptr, u"plain.bin");
        job->header.set_block_size(BLOCK);
        // The source as it reads by the time the blocks are written.
        write_file(dir / "changed.bin", pattern_bytes(now, 2));
        platform::close(job->source_handle);
        job->source_handle = platform::open_read((dir / "changed.bin").u16string().c_str());
        job->output_handle = platform::create_write((dir / "c.qvk").u16string().c_str());
        EXPECT_EQ(write_stream(*job), StatusCode::truncated);
        release_job(*job);
    }
}

TEST(BlockStream, ShapesThatCannotAdvanceAreRefused) {
    const fs::path dir = scratch_dir();
    auto job = new_job();
    job->header = valid_header(100, 0);
    job->output_handle = platform::create_write((dir / "c.qvk").u16string().c_str());
    EXPECT_EQ(write_stream(*job), StatusCode::damaged);
    release_job(*job);
}

// --- The two earliest versions --------------------------------------------

Bytes legacy_container(const LegacyFields& f, const Bytes& plain,
                       std::function<std::uint32_t(std::uint32_t, std::uint32_t)> lengths = {}) {
    StreamPlan plan;
    plan.header = legacy_image(f);
    plan.format_version = f.version;
    plan.block_length = std::move(lengths);
    return concat(legacy_bytes(f), write_test_stream(plan, plain));
}

TEST(LegacyStream, ShorterBlocksAreAcceptedWithChainedSums) {
    const fs::path dir = scratch_dir();
    for (std::uint8_t version : {std::uint8_t{0}, std::uint8_t{1}}) {
        SCOPED_TRACE(int{version});
        LegacyFields f;
        f.version = version;
        f.mode_word = 512;
        f.block_size = 2048;
        const Bytes plain = pattern_bytes(9000, 3);
        f.file_size = plain.size();
        const Bytes bytes = legacy_container(f, plain, [](std::uint32_t i, std::uint32_t e) {
            return i % 2 == 0 ? std::min(e, 1 + i * 300) : e;
        });
        write_file(dir / "old.ptxt", bytes);
        EXPECT_EQ(verify_with_engine(dir / "old.ptxt"), StatusCode::ok);
        const DecryptResult r = decrypt_with_engine(dir / "old.ptxt", dir / "out.bin");
        EXPECT_EQ(r.status, StatusCode::ok);
        EXPECT_EQ(r.plain, plain);

        // A block sum that starts afresh, as in version 2, is damage here.
        StreamPlan unchained;
        unchained.header = legacy_image(f);
        unchained.format_version = 2;
        write_file(dir / "old.ptxt", concat(legacy_bytes(f), write_test_stream(unchained, plain)));
        EXPECT_EQ(verify_with_engine(dir / "old.ptxt"), StatusCode::damaged);
    }
}

TEST(LegacyStream, LengthsBeyondTheLeniencyAreDamage) {
    const fs::path dir = scratch_dir();
    LegacyFields f;
    f.version = 1;
    f.block_size = 2048;
    const Bytes plain = pattern_bytes(5000, 3);
    f.file_size = plain.size();
    const Bytes good = legacy_container(f, plain);
    const std::size_t first = legacy_bytes(f).size();
    for (std::uint32_t length : {0u, 2049u, 0x7FFFFFFFu}) {
        SCOPED_TRACE(length);
        Bytes bytes = good;
        store32_le(&bytes[first], length);
        const Outcome got = check_bytes(dir, bytes);
        EXPECT_EQ(got.read, StatusCode::damaged);
        EXPECT_EQ(got.verify, StatusCode::damaged);
    }
    // A file that claims far more than it holds ends early.
    LegacyFields huge = f;
    huge.file_size = 1ull << 50;
    const Bytes records(good.begin() + static_cast<std::ptrdiff_t>(first), good.end() - TRAILER_SIZE);
    write_file(dir / "huge.ptxt", concat(legacy_bytes(huge), records));
    EXPECT_EQ(verify_with_engine(dir / "huge.ptxt"), StatusCode::truncated);
}

TEST(LegacyStream, WrongPasswordIsAlwaysWrongKey) {
    const fs::path dir = scratch_dir();
    LegacyFields f;
    f.version = 0;
    f.block_size = 4096;
    const Bytes plain = pattern_bytes(6000, 3);
    f.file_size = plain.size();
    Bytes bytes = legacy_container(f, plain);
    // Words 2 and 3 do not matter for the earliest schedule.
    bytes[bytes.size() - 1] ^= 0xFF;
    const Outcome got = check_bytes(dir, bytes, u"not it");
    EXPECT_EQ(got.read, StatusCode::wrong_key);
    EXPECT_EQ(got.verify, StatusCode::ok);
}

}  // namespace
}  // namespace corvane
