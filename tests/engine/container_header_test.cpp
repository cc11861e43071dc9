// The 1024-byte header: opening and validating a container, opening a plain
// source, the block-size choice, filling and writing a new header, and the
// job's buffers and their release.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/engine/container_fixture.h"

namespace corvane {
namespace {

using namespace corvane::testing;

struct OpenOutcome {
    StatusCode status;
    std::unique_ptr<JobContext> job;
};

OpenOutcome open_bytes(const fs::path& dir, const Bytes& bytes, StatusCode stale = StatusCode::ok) {
    const fs::path file = dir / "c.qvk";
    write_file(file, bytes);
    OpenOutcome out{StatusCode::ok, new_job()};
    out.job->status = stale;
    out.status = open_container(*out.job, file.u16string().c_str());
    EXPECT_EQ(out.job->status, out.status);
    return out;
}

Bytes sealed(ContainerHeader h) {
    reseal(h);
    return header_bytes(h);
}

TEST(OpenContainer, RejectsFilesThatAreNotContainers) {
    const fs::path dir = scratch_dir();
    Bytes version3 = sealed(valid_header());
    version3[3] = 3;
    Bytes version255 = version3;
    version255[3] = 255;
    Bytes bad_magic = sealed(valid_header());
    bad_magic[2] = 'X';
    Bytes short_v2 = sealed(valid_header());
    short_v2.resize(1023);
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"three bytes of magic", {'K', 'V', 'Q'}},
        {"two bytes", {'K', 'V'}},
        {"wrong magic", bad_magic},
        {"lower-case magic", {'k', 'v', 'q', 2}},
        {"version 3", version3},
        {"version 255", version255},
        {"version 2 shorter than 1024", short_v2},
        {"version 2 of four bytes", {'K', 'V', 'Q', 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = open_bytes(dir, c.bytes);
        EXPECT_EQ(r.status, StatusCode::not_container);
        release_job(*r.job);
    }
}

TEST(OpenContainer, CodesForHeaderValues) {
    const fs::path dir = scratch_dir();
    using Edit = void (*)(ContainerHeader&);
    const struct {
        const char* what;
        Edit edit;
        StatusCode expected;
    } cases[] = {
        {"valid", [](ContainerHeader&) {}, StatusCode::ok},
        {"digest_rounds 4095", [](ContainerHeader& h) { h.set_digest_rounds(4095); }, StatusCode::damaged},
        {"digest_rounds 4096", [](ContainerHeader& h) { h.set_digest_rounds(4096); }, StatusCode::ok},
        {"digest_rounds 1048576", [](ContainerHeader& h) { h.set_digest_rounds(1048576); }, StatusCode::ok},
        {"digest_rounds 1048577", [](ContainerHeader& h) { h.set_digest_rounds(1048577); }, StatusCode::unsupported},
        {"key_rounds 255", [](ContainerHeader& h) { h.set_key_rounds(255); }, StatusCode::damaged},
        {"key_rounds 256", [](ContainerHeader& h) { h.set_key_rounds(256); }, StatusCode::ok},
        {"key_rounds 1048577", [](ContainerHeader& h) { h.set_key_rounds(1048577); }, StatusCode::unsupported},
        {"table_rounds 4095", [](ContainerHeader& h) { h.set_table_rounds(4095); }, StatusCode::damaged},
        {"table_rounds 1048577", [](ContainerHeader& h) { h.set_table_rounds(1048577); }, StatusCode::unsupported},
        // A value below the lower limit is damage even when another lies above the upper one.
        {"low digest, high key rounds",
         [](ContainerHeader& h) {
             h.set_digest_rounds(1);
             h.set_key_rounds(0xFFFFFFFF);
         },
         StatusCode::damaged},
        {"flags 3", [](ContainerHeader& h) { h.set_flags(3); h.set_file_size(32); h.set_block_size(32); },
         StatusCode::ok},
        {"flags 4", [](ContainerHeader& h) { h.set_flags(4); }, StatusCode::unsupported},
        {"flags 0xFFFF", [](ContainerHeader& h) { h.set_flags(0xFFFF); }, StatusCode::unsupported},
        {"schedule_version 0", [](ContainerHeader& h) { h.set_schedule_version(0); }, StatusCode::ok},
        {"schedule_version 4", [](ContainerHeader& h) { h.set_schedule_version(4); }, StatusCode::unsupported},
        {"jumble_rounds 1048576", [](ContainerHeader& h) { h.set_jumble_rounds(1048576); }, StatusCode::ok},
        {"jumble_rounds 1048577", [](ContainerHeader& h) { h.set_jumble_rounds(1048577); }, StatusCode::unsupported},
        {"block_size 50331648",
         [](ContainerHeader& h) { h.set_block_size(50331648); h.set_file_size(1ull << 40); }, StatusCode::ok},
        {"block_size 50331649",
         [](ContainerHeader& h) { h.set_block_size(50331649); h.set_file_size(1ull << 40); },
         StatusCode::unsupported},
        {"block 1000, file 900", [](ContainerHeader& h) { h.set_block_size(1000); h.set_file_size(900); },
         StatusCode::ok},
        {"block 1000, file 1000", [](ContainerHeader& h) { h.set_block_size(1000); h.set_file_size(1000); },
         StatusCode::ok},
        {"block 1000, file 1001", [](ContainerHeader& h) { h.set_block_size(1000); h.set_file_size(1001); },
         StatusCode::damaged},
        {"block 2047, file 2048", [](ContainerHeader& h) { h.set_block_size(2047); h.set_file_size(2048); },
         StatusCode::damaged},
        {"block 2048, file 2049", [](ContainerHeader& h) { h.set_block_size(2048); h.set_file_size(2049); },
         StatusCode::ok},
        {"block 0, file 0", [](ContainerHeader& h) { h.set_block_size(0); h.set_file_size(0); }, StatusCode::ok},
        {"block 0, file 1", [](ContainerHeader& h) { h.set_block_size(0); h.set_file_size(1); },
         StatusCode::damaged},
        {"small block, file of 4 GiB",
         [](ContainerHeader& h) { h.set_block_size(1000); h.set_file_size(1ull << 32); }, StatusCode::damaged},
        {"short file 31",
         [](ContainerHeader& h) { h.set_flags(3); h.set_file_size(31); h.set_block_size(4096); },
         StatusCode::damaged},
        {"short file 32",
         [](ContainerHeader& h) { h.set_flags(3); h.set_file_size(32); h.set_block_size(4096); }, StatusCode::ok},
        {"short file 33",
         [](ContainerHeader& h) { h.set_flags(3); h.set_file_size(33); h.set_block_size(4096); },
         StatusCode::unsupported},
        {"short file 2^32 - 1",
         [](ContainerHeader& h) { h.set_flags(2); h.set_file_size(0xFFFFFFFFull); h.set_block_size(4096); },
         StatusCode::unsupported},
        {"short file 2^32",
         [](ContainerHeader& h) { h.set_flags(2); h.set_file_size(1ull << 32); h.set_block_size(4096); },
         StatusCode::damaged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ContainerHeader h = valid_header();
        c.edit(h);
        auto r = open_bytes(dir, sealed(h));
        EXPECT_EQ(r.status, c.expected);
        EXPECT_EQ(r.job->format_version, 2u);
        release_job(*r.job);
    }
}

TEST(OpenContainer, AnyChangedByteAfterTheVersionIsDamage) {
    const fs::path dir = scratch_dir();
    const Bytes good = sealed(valid_header());
    for (std::size_t pos = 4; pos < HEADER_SIZE; ++pos) {
        SCOPED_TRACE(pos);
        for (std::uint8_t delta : {std::uint8_t{0x01}, std::uint8_t{0x80}}) {
            Bytes bad = good;
            bad[pos] ^= delta;
            auto r = open_bytes(dir, bad);
            ASSERT_EQ(r.status, StatusCode::damaged);
            release_job(*r.job);
        }
    }
}

TEST(OpenContainer, AdjustsTheImageAndStandsAtTheFirstRecord) {
    const fs::path dir = scratch_dir();
    ContainerHeader h = valid_header(900, 1000);
    // Texts that fill their fields completely, so only the open terminates them.
    set_text(h, header_offset::file_name, std::u16string(256, u'n'));
    set_text(h, header_offset::hint, std::u16string(128, u'h'));
    Bytes bytes = sealed(h);
    const Bytes tail = {0xDE, 0xAD, 0xBE, 0xEF};
    auto r = open_bytes(dir, concat(bytes, tail));
    ASSERT_EQ(r.status, StatusCode::ok);
    const ContainerHeader& got = r.job->header;
    EXPECT_EQ(got.block_size(), 900u);
    EXPECT_EQ(got.jumble_rounds(), 7u);
    EXPECT_EQ(got.file_name_unit(254), u'n');
    EXPECT_EQ(got.file_name_unit(255), 0);
    EXPECT_EQ(got.hint_unit(126), u'h');
    EXPECT_EQ(got.hint_unit(127), 0);
    char16_t name[256];
    header_file_name(got, name);
    EXPECT_EQ(std::u16string(name), std::u16string(255, u'n'));

    std::uint8_t next[4] = {};
    std::uint32_t n = 0;
    ASSERT_TRUE(platform::read(r.job->source_handle, next, 4, &n));
    EXPECT_EQ(Bytes(next, next + n), tail);
    release_job(*r.job);
}

TEST(OpenContainer, SingleByteBlocksCarryNoJumble) {
    const fs::path dir = scratch_dir();
    for (std::uint64_t file_size : {0ull, 1ull}) {
        SCOPED_TRACE(file_size);
        ContainerHeader h = valid_header(file_size, 1);
        auto r = open_bytes(dir, sealed(h));
        ASSERT_EQ(r.status, StatusCode::ok);
        EXPECT_EQ(r.job->header.block_size(), file_size);
        EXPECT_EQ(r.job->header.jumble_rounds(), 0u);
        release_job(*r.job);
    }
}

TEST(OpenContainer, ShortFileOfExactly32ClearsTheShortBlock) {
    const fs::path dir = scratch_dir();
    ContainerHeader h = valid_header(32, 4096);
    h.set_flags(FLAG_MIXED_KEYFILE | FLAG_SHORT_FILE);
    const fs::path file = dir / "c.qvk";
    write_file(file, sealed(h));
    auto job = new_job();
    for (auto& b : job->short_buffer) b = 0x77;
    ASSERT_EQ(open_container(*job, file.u16string().c_str()), StatusCode::ok);
    EXPECT_EQ(Bytes(job->short_buffer, job->short_buffer + 32), Bytes(32, 0));
    EXPECT_EQ(job->header.block_size(), 32u);
    release_job(*job);
}

TEST(OpenContainer, OpeningFailures) {
    const fs::path dir = scratch_dir();
    auto job = new_job();
    EXPECT_EQ(open_container(*job, nullptr), StatusCode::open_failed);
    EXPECT_EQ(open_container(*job, (dir / "missing.qvk").u16string().c_str()), StatusCode::open_failed);
    EXPECT_EQ(job->source_handle, platform::INVALID_FILE);

    const fs::path file = dir / "c.qvk";
    write_file(file, sealed(valid_header()));
    ASSERT_EQ(open_container(*job, file.u16string().c_str()), StatusCode::ok);
    const platform::FileHandle held = job->source_handle;
    // A second open while the first is held is refused and keeps the first handle.
    EXPECT_EQ(open_container(*job, file.u16string().c_str()), StatusCode::open_failed);
    EXPECT_EQ(job->source_handle, held);
    release_job(*job);
}

TEST(OpenContainer, FailedOpenKeepsTheFileForRelease) {
    const fs::path dir = scratch_dir();
    Bytes bad = sealed(valid_header());
    bad[100] ^= 1;
    auto r = open_bytes(dir, bad);
    EXPECT_EQ(r.status, StatusCode::damaged);
    EXPECT_NE(r.job->source_handle, platform::INVALID_FILE);
    release_job(*r.job);
    EXPECT_EQ(r.job->source_handle, platform::INVALID_FILE);
}

// The opening operations start a job: a code left by the previous job must
// neither hide this job's success nor stand in for its own failure.
TEST(OpenContainer, AStaleStatusDoesNotStand) {
    const fs::path dir = scratch_dir();
    auto ok = open_bytes(dir, sealed(valid_header()), StatusCode::wrong_key);
    EXPECT_EQ(ok.status, StatusCode::ok);
    release_job(*ok.job);
    auto bad = open_bytes(dir, {'X', 'Y', 'Z', 2}, StatusCode::wrong_key);
    EXPECT_EQ(bad.status, StatusCode::not_container);
    release_job(*bad.job);
}

TEST(OpenSource, ShortFileRule) {
    const fs::path dir = scratch_dir();
    const struct {
        std::size_t size;
        bool short_file;
    } cases[] = {{0, true}, {1, true}, {31, true}, {32, false}, {33, false}, {5000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const fs::path file = dir / "plain.bin";
        write_file(file, pattern_bytes(c.size));
        auto job = new_job();
        job->status = StatusCode::damaged;  // left from an earlier job
        ASSERT_EQ(open_source(*job, file.u16string().c_str()), StatusCode::ok);
        EXPECT_EQ(job->status, StatusCode::ok);
        const ContainerHeader& h = job->header;
        EXPECT_EQ((h.flags() & FLAG_SHORT_FILE) != 0, c.short_file);
        EXPECT_EQ(h.file_size(), c.short_file ? 32u : c.size);
        EXPECT_EQ(std::size_t{job->short_buffer[31]}, c.short_file ? c.size : 0u);

        platform::FileFacts facts;
        ASSERT_TRUE(platform::file_facts(job->source_handle, &facts));
        EXPECT_EQ(h.write_time(), facts.write_time);
        EXPECT_EQ(h.attributes(), facts.attributes);
        release_job(*job);
    }
}

TEST(OpenSource, OpeningFailures) {
    const fs::path dir = scratch_dir();
    auto job = new_job();
    EXPECT_EQ(open_source(*job, nullptr), StatusCode::open_failed);
    EXPECT_EQ(open_source(*job, (dir / "missing").u16string().c_str()), StatusCode::open_failed);
    const fs::path file = dir / "plain.bin";
    write_file(file, pattern_bytes(100));
    ASSERT_EQ(open_source(*job, file.u16string().c_str()), StatusCode::ok);
    EXPECT_EQ(open_source(*job, file.u16string().c_str()), StatusCode::open_failed);
    release_job(*job);
}

// The selection rule as it reads: every candidate in increasing order.
std::uint32_t reference_block_size(std::uint32_t requested, std::uint64_t s) {
    std::uint32_t c = requested < 32768 ? 32768 : requested > 33554432 ? 33554432 : requested;
    if (s <= c) return static_cast<std::uint32_t>(s);
    std::uint32_t best = 0;
    std::uint64_t best_slack = 0, best_distance = 0;
    for (std::uint32_t i = c / 2; i <= c + c / 2; ++i) {
        const std::uint64_t slack = s % i == 0 ? 0 : i - s % i;
        const std::uint64_t distance = i > c ? i - c : c - i;
        if (best == 0 || slack < best_slack || (slack == best_slack && distance <= best_distance)) {
            best = i;
            best_slack = slack;
            best_distance = distance;
        }
    }
    return best;
}

TEST(ChooseBlockSize, Table) {
    const struct {
        std::uint32_t requested;
        std::uint64_t file_size;
        std::uint32_t expected;
    } cases[] = {
        {524288, 32, 32},                 // a short source is one block of 32
        {524288, 0, 0},
        {524288, 104857600, 524288},      // divides the size
        {32768, 1000000, 31250},          // the divisor nearest the request
        {524288, 1000001, 500001},        // slack 1
        {1, 32768, 32768},                // raised to 32768
        {1, 32769, reference_block_size(32768, 32769)},
        {0xFFFFFFFF, 33554432, 33554432},  // lowered to 33554432
        {524288, 524288, 524288},
        {524288, 524289, reference_block_size(524288, 524289)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.requested << " / " << c.file_size);
        EXPECT_EQ(choose_block_size(c.requested, c.file_size), c.expected);
    }
    // Raised and lowered requests behave exactly as the bounds themselves.
    EXPECT_EQ(choose_block_size(100, 1000003), choose_block_size(32768, 1000003));
    EXPECT_EQ(choose_block_size(0x7FFFFFFF, 1ull << 40), choose_block_size(33554432, 1ull << 40));
    EXPECT_EQ(choose_block_size(33554432, 1ull << 40), 33554432u);
}

TEST(ChooseBlockSize, MatchesTheLiteralSearch) {
    // Sizes with few divisors, odd requests (asymmetric range), ties of slack.
    const std::uint32_t requests[] = {32768, 32769, 40000, 65535, 65536, 99999};
    std::uint64_t s = 70001;
    for (std::uint32_t r : requests) {
        for (int k = 0; k < 12; ++k) {
            s = s * 6364136223846793005ull + 1442695040888963407ull;
            const std::uint64_t size = r + 1 + (s >> 20) % (50ull * r);
            SCOPED_TRACE(::testing::Message() << r << " / " << size);
            EXPECT_EQ(choose_block_size(r, size), reference_block_size(r, size));
        }
        for (std::uint64_t size : {std::uint64_t{r} + 1, std::uint64_t{r} * 3 - 1, std::uint64_t{1000000007}, std::uint64_t{1} << 33}) {
            SCOPED_TRACE(::testing::Message() << r << " / " << size);
            EXPECT_EQ(choose_block_size(r, size), reference_block_size(r, size));
        }
    }
}

TEST(FillHeader, CompletesTheHeaderOfANewContainer) {
    const fs::path dir = scratch_dir();
    const struct {
        std::size_t size;
        std::uint32_t requested;
        std::uint32_t block_size;
        std::uint16_t flags;
    } cases[] = {{0, 524288, 32, 3}, {31, 524288, 32, 3}, {32, 524288, 32, 1}, {1000000, 32768, 31250, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const fs::path file = dir / "plain.bin";
        write_file(file, pattern_bytes(c.size));
        auto job = new_job();
        ASSERT_EQ(open_source(*job, file.u16string().c_str()), StatusCode::ok);
        fill_header(*job, 9, c.requested, u"hint", u"plain.bin");
        const ContainerHeader& h = job->header;
        EXPECT_EQ(h.magic(), HEADER_MAGIC);
        EXPECT_EQ(Bytes(h.bytes.begin(), h.bytes.begin() + 4), (Bytes{'K', 'V', 'Q', 2}));
        EXPECT_EQ(h.flags(), c.flags);
        EXPECT_EQ(h.schedule_version(), 3u);
        EXPECT_EQ(h.jumble_rounds(), 9u);
        EXPECT_EQ(h.block_size(), c.block_size);
        release_job(*job);
    }
}

TEST(FillHeader, CutsLongTextsAndLeavesTheTerminators) {
    const struct {
        std::size_t hint_units;
        std::size_t name_units;
    } cases[] = {{0, 0}, {1, 1}, {127, 255}, {128, 256}, {200, 300}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.hint_units << " / " << c.name_units);
        auto job = new_job();
        const std::u16string hint(c.hint_units, u'\u00e9');
        const std::u16string name(c.name_units, u'\u4e2d');
        fill_header(*job, 0, 524288, hint.c_str(), name.c_str());
        char16_t got_hint[128];
        char16_t got_name[256];
        header_hint(job->header, got_hint);
        header_file_name(job->header, got_name);
        EXPECT_EQ(std::u16string(got_hint), hint.substr(0, 127));
        EXPECT_EQ(std::u16string(got_name), name.substr(0, 255));
        EXPECT_EQ(load16_le(&job->header.bytes[606]), 0);
        EXPECT_EQ(load16_le(&job->header.bytes[862]), 0);
        // Nothing spills into the reserved area behind the hint.
        for (std::size_t i = 864; i < 1020; ++i) ASSERT_EQ(job->header.bytes[i], 0) << i;
    }
    auto job = new_job();
    fill_header(*job, 0, 524288, nullptr, nullptr);
    EXPECT_EQ(job->header.hint_unit(0), 0);
    EXPECT_EQ(job->header.file_name_unit(0), 0);
}

TEST(WriteHeader, SealsAndWritesTheImage) {
    const fs::path dir = scratch_dir();
    auto job = new_job();
    job->header = valid_header();
    job->header.set_header_sum(0x12345678);
    job->output_handle = platform::create_write((dir / "h.qvk").u16string().c_str());
    ASSERT_EQ(write_header(*job), StatusCode::ok);
    release_job(*job);
    const Bytes written = read_file(dir / "h.qvk");
    ASSERT_EQ(written.size(), HEADER_SIZE);
    EXPECT_EQ(load32_le(&written[1020]), rot_sum(written.data(), 1020));
    EXPECT_EQ(written, header_bytes(job->header));
    // A header written by the engine opens.
    EXPECT_EQ(verify_with_engine(dir / "h.qvk"), StatusCode::truncated);  // no trailer behind it

    auto no_output = new_job();
    EXPECT_EQ(write_header(*no_output), StatusCode::write_failed);
    EXPECT_EQ(no_output->status, StatusCode::write_failed);
}

TEST(WriteHeader, SealIsTheRotSumOfTheFirst1020Bytes) {
    auto job = new_job();
    job->header = valid_header();
    seal_header(*job);
    const std::uint32_t first = job->header.header_sum();
    EXPECT_EQ(first, rot_sum(job->header.bytes.data(), 1020));
    job->header.bytes[1019] ^= 1;
    seal_header(*job);
    EXPECT_NE(job->header.header_sum(), first);
}

TEST(Buffers, AllocatedByNeedAndReleasedWithTheHandles) {
    const fs::path dir = scratch_dir();
    const struct {
        bool permute;
        bool keyfile;
        std::uint16_t flags;
        bool spare, pad;
    } cases[] = {
        {false, false, 1, false, false}, {true, false, 1, true, false}, {false, true, 1, false, false},
        {false, true, 0, false, true},   {true, true, 0, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.permute << c.keyfile << c.flags);
        auto job = new_job();
        job->header = valid_header();
        job->header.set_flags(c.flags);
        ASSERT_EQ(allocate_buffers(*job, 4096, c.permute, c.keyfile), StatusCode::ok);
        EXPECT_EQ(job->buffer_size, 4096u);
        EXPECT_NE(job->block_buffer, nullptr);
        EXPECT_EQ(job->spare_buffer != nullptr, c.spare);
        EXPECT_EQ(job->jumble_map != nullptr, c.spare);
        EXPECT_EQ(job->pad_buffer != nullptr, c.pad);
        release_job(*job);
    }

    auto none = new_job();
    EXPECT_EQ(allocate_buffers(*none, 0, true, true), StatusCode::ok);
    EXPECT_EQ(none->block_buffer, nullptr);
    EXPECT_EQ(none->jumble_map, nullptr);
}

TEST(Buffers, ReleaseKeepsTheResultAndTheHeader) {
    const fs::path dir = scratch_dir();
    write_file(dir / "a", pattern_bytes(10));
    auto job = new_job();
    job->header = valid_header();
    job->header.set_flags(0);
    job->source_handle = platform::open_read((dir / "a").u16string().c_str());
    job->keyfile_handle = platform::open_read((dir / "a").u16string().c_str());
    job->output_handle = platform::create_write((dir / "b").u16string().c_str());
    ASSERT_EQ(allocate_buffers(*job, 65536, true, true), StatusCode::ok);
    job->status = StatusCode::wrong_key;
    job->format_version = 1;
    job->plain_sum = 0xABCDEF01;
    job->cipher.key_table[5] = 99;
    job->cipher.mask = 1023;
    job->short_buffer[3] = 7;
    const ContainerHeader before = job->header;

    release_job(*job);
    EXPECT_EQ(job->buffer_size, 0u);
    EXPECT_EQ(job->block_buffer, nullptr);
    EXPECT_EQ(job->spare_buffer, nullptr);
    EXPECT_EQ(job->jumble_map, nullptr);
    EXPECT_EQ(job->pad_buffer, nullptr);
    EXPECT_EQ(job->source_handle, platform::INVALID_FILE);
    EXPECT_EQ(job->output_handle, platform::INVALID_FILE);
    EXPECT_EQ(job->keyfile_handle, platform::INVALID_FILE);
    EXPECT_EQ(job->cipher.key_table[5], 0u);
    EXPECT_EQ(job->cipher.mask, 0u);
    EXPECT_EQ(job->short_buffer[3], 0);
    EXPECT_EQ(job->status, StatusCode::wrong_key);
    EXPECT_EQ(job->format_version, 1u);
    EXPECT_EQ(job->plain_sum, 0xABCDEF01u);
    EXPECT_EQ(job->header.bytes, before.bytes);
    release_job(*job);  // harmless when nothing is held
    EXPECT_EQ(job->source_handle, platform::INVALID_FILE);
}

TEST(Buffers, AllocatingAgainReplacesTheBuffers) {
    auto job = new_job();
    job->header = valid_header();
    ASSERT_EQ(allocate_buffers(*job, 64, true, false), StatusCode::ok);
    ASSERT_EQ(allocate_buffers(*job, 128, false, false), StatusCode::ok);
    EXPECT_EQ(job->buffer_size, 128u);
    EXPECT_EQ(job->spare_buffer, nullptr);
    EXPECT_EQ(job->jumble_map, nullptr);
    release_job(*job);
}

}  // namespace
}  // namespace corvane
