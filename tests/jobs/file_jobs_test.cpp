#include "jobs/file_jobs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/scratch.h"
#include "tests/support/job_helpers.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::facts_of;
using testing::folder_entries;
using testing::pattern_bytes;
using testing::read_file;
using testing::u16;
using testing::RecordingSink;
using testing::write_file;

constexpr const char16_t* PASSWORD = u"correct horse";
constexpr std::uint64_t FIXED_TIME = 132000000000000000ull;  // whole seconds, as every system keeps them

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

void write_with_time(const fs::path& path, const Bytes& bytes, std::uint64_t filetime) {
    const platform::FileHandle file = platform::create_write(u16(path).c_str());
    ASSERT_NE(file, platform::INVALID_FILE);
    std::uint32_t put = 0;
    if (!bytes.empty()) {
        ASSERT_TRUE(platform::write(file, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &put));
    }
    ASSERT_TRUE(platform::set_write_time(file, filetime));
    platform::close(file);
}

class FileJobs : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testing::scratch_dir();
        saved_query_ = free_space_query();
    }
    void TearDown() override {
        free_space_query() = saved_query_;
        // Read-only fixtures would stop the next run's clean-up on some systems.
        for (const auto& entry : fs::directory_iterator(dir))
            (void)platform::set_attributes(u16(entry.path()).c_str(), 0);
    }

    std::u16string path(const std::string& name) const { return u16(dir / name); }

    StatusCode encrypt(const std::string& source, const std::string& output, const char16_t* keyfile = nullptr,
                       std::uint32_t rounds = 2, std::uint32_t block = 32768, ProgressSink* sink = nullptr) {
        return encrypt_file(*job, path(source).c_str(), path(output).c_str(), keyfile, PASSWORD, u"a hint", block,
                            rounds, sink);
    }
    StatusCode decrypt(const std::string& container, const std::string& output, const char16_t* keyfile = nullptr,
                       const char16_t* password = PASSWORD) {
        return decrypt_file(*job, path(container).c_str(), path(output).c_str(), keyfile, password, nullptr);
    }

    // A container of `size` pattern bytes, made through the encryption job.
    Bytes make_container(const std::string& name, std::size_t size, const char16_t* keyfile = nullptr) {
        const Bytes plain = pattern_bytes(size, 7);
        write_file(dir / "plain.bin", plain);
        EXPECT_EQ(encrypt("plain.bin", name, keyfile), StatusCode::ok);
        fs::remove(dir / "plain.bin");
        return plain;
    }

    // After every job, whatever its end: nothing held.
    void expect_released() const {
        EXPECT_EQ(job->source_handle, platform::INVALID_FILE);
        EXPECT_EQ(job->output_handle, platform::INVALID_FILE);
        EXPECT_EQ(job->keyfile_handle, platform::INVALID_FILE);
        EXPECT_EQ(job->block_buffer, nullptr);
        EXPECT_EQ(job->buffer_size, 0u);
    }

    fs::path dir;
    std::unique_ptr<JobContext> job = std::make_unique<JobContext>();

private:
    FreeSpaceFn saved_query_ = nullptr;
};

TEST_F(FileJobs, RoundTripsThroughEveryShape) {
    write_file(dir / "key.bin", pattern_bytes(70000, 99));
    const std::u16string key = path("key.bin");
    const std::size_t sizes[] = {0, 1, 31, 32, 33, 1000, 32768, 2 * 32768 + 5};
    for (const std::uint32_t rounds : {0u, 3u}) {
        for (const bool with_key : {false, true}) {
            for (const std::size_t size : sizes) {
                SCOPED_TRACE("size " + std::to_string(size) + " rounds " + std::to_string(rounds) +
                             (with_key ? " with key file" : ""));
                const Bytes plain = pattern_bytes(size, static_cast<std::uint32_t>(size) + rounds);
                write_file(dir / "in.bin", plain);
                const char16_t* keyfile = with_key ? key.c_str() : nullptr;
                ASSERT_EQ(encrypt("in.bin", "c.qvk", keyfile, rounds), StatusCode::ok);
                expect_released();
                // Short files are carried as 32 bytes, so even they keep their rounds.
                EXPECT_EQ(job->header.jumble_rounds(), rounds);
                ASSERT_EQ(test_file(*job, path("c.qvk").c_str(), nullptr), StatusCode::ok);
                expect_released();
                ASSERT_EQ(decrypt("c.qvk", "out.bin", keyfile), StatusCode::ok);
                expect_released();
                EXPECT_EQ(read_file(dir / "out.bin"), plain);
                EXPECT_EQ(sorted(folder_entries(dir)), sorted({"c.qvk", "in.bin", "key.bin", "out.bin"}));
                fs::remove(dir / "c.qvk");
                fs::remove(dir / "out.bin");
            }
        }
    }
}

TEST_F(FileJobs, OverwritesAnExistingTargetOnSuccess) {
    const Bytes plain = make_container("c.qvk", 5000);
    write_file(dir / "out.bin", Bytes(100000, 0xAB));
    write_file(dir / "old.qvk", Bytes(10, 1));
    ASSERT_EQ(decrypt("c.qvk", "out.bin"), StatusCode::ok);
    EXPECT_EQ(read_file(dir / "out.bin"), plain);
    write_file(dir / "plain.bin", plain);
    ASSERT_EQ(encrypt("plain.bin", "old.qvk"), StatusCode::ok);
    EXPECT_EQ(test_file(*job, path("old.qvk").c_str(), nullptr), StatusCode::ok);
    EXPECT_EQ(sorted(folder_entries(dir)), sorted({"c.qvk", "old.qvk", "out.bin", "plain.bin"}));
}

TEST_F(FileJobs, DecryptionRestoresTimeAndAttributes) {
    write_with_time(dir / "src.txt", pattern_bytes(3000), FIXED_TIME);
    // Hidden has no meaning on every system; whatever the system kept of it
    // must come back.
    ASSERT_TRUE(platform::set_attributes(path("src.txt").c_str(),
                                         platform::ATTRIBUTE_READONLY | platform::ATTRIBUTE_HIDDEN));
    const std::uint32_t kept = facts_of(dir / "src.txt").attributes & RESTORE_ATTRIBUTE_MASK;
    ASSERT_EQ(encrypt("src.txt", "c.qvk"), StatusCode::ok);
    EXPECT_NE(job->header.attributes() & platform::ATTRIBUTE_READONLY, 0u);
    // The container keeps its own time and stays writable.
    EXPECT_EQ(facts_of(dir / "c.qvk").attributes & platform::ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(facts_of(dir / "c.qvk").write_time, FIXED_TIME);

    ASSERT_EQ(decrypt("c.qvk", "restored.txt"), StatusCode::ok);
    const platform::FileFacts facts = facts_of(dir / "restored.txt");
    EXPECT_EQ(facts.write_time, FIXED_TIME);
    EXPECT_NE(facts.attributes & platform::ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(facts.attributes & RESTORE_ATTRIBUTE_MASK, kept);
    EXPECT_EQ(read_file(dir / "restored.txt"), pattern_bytes(3000));
}

TEST_F(FileJobs, ShortFileCountsAs32Bytes) {
    write_file(dir / "tiny.txt", Bytes{1, 2, 3});
    RecordingSink sink;
    set_last_report_tick(job_clock().tick_ms() - 1000);
    ASSERT_EQ(encrypt("tiny.txt", "c.qvk", nullptr, 2, 32768, &sink), StatusCode::ok);
    EXPECT_EQ(job->header.file_size(), 32u);
    EXPECT_NE(job->header.flags() & FLAG_SHORT_FILE, 0u);
    ASSERT_GE(sink.reports, 1);
    EXPECT_EQ(sink.last.total_bytes, 32u);
    EXPECT_EQ(sink.last.done_bytes, 32u);
}

TEST_F(FileJobs, ProgressEndsWithTheWholeTotal) {
    write_file(dir / "in.bin", pattern_bytes(200000));
    RecordingSink sink;
    ASSERT_EQ(encrypt("in.bin", "c.qvk", nullptr, 1, 32768, &sink), StatusCode::ok);
    EXPECT_EQ(sink.last.done_bytes, 200000u);
    EXPECT_NEAR(sink.last.fraction, 1.0, 1e-6);
    RecordingSink test_sink;
    ASSERT_EQ(test_file(*job, path("c.qvk").c_str(), &test_sink), StatusCode::ok);
    EXPECT_EQ(test_sink.last.done_bytes, 200000u);
}

// Each failure: its status, nothing left in the folder but the fixtures,
// and nothing held by the job.
TEST_F(FileJobs, FailuresLeaveNoOutput) {
    make_container("c.qvk", 70000);
    write_file(dir / "plain.bin", pattern_bytes(4000));
    write_file(dir / "key.bin", pattern_bytes(100));
    {
        auto bytes = read_file(dir / "c.qvk");
        bytes.resize(bytes.size() - 10);  // the trailer ends after 6 of its 16 bytes
        write_file(dir / "cut.qvk", bytes);
        bytes.resize(1024 + 8 + 100);  // inside the first block
        write_file(dir / "cut-block.qvk", bytes);
        bytes = read_file(dir / "c.qvk");
        bytes[1024 + 8 + 500] ^= 0x40;
        write_file(dir / "bent.qvk", bytes);
    }
    const std::vector<std::string> fixtures = sorted(folder_entries(dir));
    const std::u16string missing_key = path("no-such-key");
    const std::u16string key = path("key.bin");

    const struct {
        const char* what;
        bool encrypting;
        std::string input;
        std::string output;
        const char16_t* keyfile;
        const char16_t* password;
        StatusCode expected;
    } cases[] = {
        {"decrypt, missing key file", false, "c.qvk", "out.bin", missing_key.c_str(), PASSWORD, StatusCode::open_failed},
        {"encrypt, missing key file", true, "plain.bin", "out.qvk", missing_key.c_str(), PASSWORD, StatusCode::open_failed},
        {"decrypt, missing folder", false, "c.qvk", "nowhere/out.bin", nullptr, PASSWORD, StatusCode::create_failed},
        {"encrypt, missing folder", true, "plain.bin", "nowhere/out.qvk", nullptr, PASSWORD, StatusCode::create_failed},
        {"decrypt, folder is a file", false, "c.qvk", "plain.bin/out.bin", nullptr, PASSWORD, StatusCode::create_failed},
        {"decrypt, wrong password", false, "c.qvk", "out.bin", nullptr, u"wrong", StatusCode::wrong_key},
        {"decrypt, unexpected key file", false, "c.qvk", "out.bin", key.c_str(), PASSWORD, StatusCode::wrong_key},
        {"decrypt, truncated", false, "cut.qvk", "out.bin", nullptr, PASSWORD, StatusCode::truncated},
        {"decrypt, cut inside a block", false, "cut-block.qvk", "out.bin", nullptr, PASSWORD, StatusCode::truncated},
        {"decrypt, damaged block", false, "bent.qvk", "out.bin", nullptr, PASSWORD, StatusCode::damaged},
        {"decrypt, not a container", false, "plain.bin", "out.bin", nullptr, PASSWORD, StatusCode::not_container},
        {"decrypt, missing container", false, "none.qvk", "out.bin", nullptr, PASSWORD, StatusCode::open_failed},
        {"encrypt, missing source", true, "none.bin", "out.qvk", nullptr, PASSWORD, StatusCode::open_failed},
        {"encrypt onto its source", true, "plain.bin", "plain.bin", nullptr, PASSWORD, StatusCode::create_failed},
        {"encrypt onto its source, other spelling", true, "plain.bin", "./plain.bin", nullptr, PASSWORD,
         StatusCode::create_failed},
        {"decrypt onto its container", false, "c.qvk", "c.qvk", nullptr, PASSWORD, StatusCode::create_failed},
        {"encrypt onto its key file", true, "plain.bin", "key.bin", key.c_str(), PASSWORD, StatusCode::create_failed},
        {"decrypt onto a folder", false, "c.qvk", ".", nullptr, PASSWORD, StatusCode::create_failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes before = c.output == "." ? Bytes{} : read_file(dir / c.output);
        const StatusCode status =
            c.encrypting ? encrypt_file(*job, path(c.input).c_str(), path(c.output).c_str(), c.keyfile, c.password,
                                        nullptr, 32768, 2, nullptr)
                         : decrypt_file(*job, path(c.input).c_str(), path(c.output).c_str(), c.keyfile, c.password,
                                        nullptr);
        EXPECT_EQ(status, c.expected);
        EXPECT_EQ(job->status, c.expected);
        EXPECT_EQ(sorted(folder_entries(dir)), fixtures);
        if (c.output != ".") {
            EXPECT_EQ(read_file(dir / c.output), before);
        }
        expect_released();
    }
    EXPECT_EQ(read_file(dir / "plain.bin"), pattern_bytes(4000));
    EXPECT_EQ(read_file(dir / "key.bin"), pattern_bytes(100));
    EXPECT_EQ(decrypt("c.qvk", "check.bin"), StatusCode::ok);
}

TEST_F(FileJobs, AbsentOutputTouchesNothing) {
    write_file(dir / "plain.bin", pattern_bytes(100));
    const char16_t* outputs[] = {nullptr, u""};
    for (const char16_t* output : outputs) {
        job->status = StatusCode::damaged;  // left by an earlier job
        EXPECT_EQ(encrypt_file(*job, path("plain.bin").c_str(), output, nullptr, PASSWORD, nullptr, 32768, 2, nullptr),
                  StatusCode::create_failed);
        EXPECT_EQ(decrypt_file(*job, path("plain.bin").c_str(), output, nullptr, PASSWORD, nullptr),
                  StatusCode::create_failed);
        EXPECT_EQ(job->status, StatusCode::create_failed);
        expect_released();
    }
    EXPECT_EQ(folder_entries(dir), std::vector<std::string>{"plain.bin"});
}

TEST_F(FileJobs, ExistingTargetSurvivesFailureAndCancel) {
    make_container("c.qvk", 70000);
    write_file(dir / "plain.bin", pattern_bytes(70000, 3));
    const Bytes precious = pattern_bytes(1234, 42);
    write_file(dir / "target", precious);

    EXPECT_EQ(decrypt("c.qvk", "target", nullptr, u"wrong"), StatusCode::wrong_key);
    EXPECT_EQ(read_file(dir / "target"), precious);

    job->run_state.store(RunState::cancelling);
    EXPECT_EQ(decrypt("c.qvk", "target"), StatusCode::ok);
    EXPECT_EQ(read_file(dir / "target"), precious);
    EXPECT_EQ(encrypt("plain.bin", "target"), StatusCode::ok);
    EXPECT_EQ(read_file(dir / "target"), precious);
    job->run_state.store(RunState::idle);

    EXPECT_EQ(sorted(folder_entries(dir)), sorted({"c.qvk", "plain.bin", "target"}));
}

TEST_F(FileJobs, CancelledJobsLeaveNoOutput) {
    make_container("c.qvk", 70000);
    write_file(dir / "plain.bin", pattern_bytes(70000, 3));
    job->run_state.store(RunState::cancelling);
    EXPECT_EQ(decrypt("c.qvk", "out.bin"), StatusCode::ok);
    expect_released();
    EXPECT_EQ(encrypt("plain.bin", "out.qvk", nullptr, 0), StatusCode::ok);
    expect_released();
    EXPECT_EQ(sorted(folder_entries(dir)), sorted({"c.qvk", "plain.bin"}));
}

TEST_F(FileJobs, ReadOnlyTargetIsRefusedBeforeWork) {
    make_container("c.qvk", 3000);
    write_file(dir / "target", Bytes{9, 9, 9});
    ASSERT_TRUE(platform::set_attributes(path("target").c_str(), platform::ATTRIBUTE_READONLY));
    EXPECT_EQ(decrypt("c.qvk", "target"), StatusCode::create_failed);
    EXPECT_EQ(read_file(dir / "target"), (Bytes{9, 9, 9}));
    EXPECT_EQ(sorted(folder_entries(dir)), sorted({"c.qvk", "target"}));
}

// The volume seen by the drivers, set per case.
struct FakeVolume {
    static inline bool answers = true;
    static inline std::uint64_t free = 0;
    static bool query(const char16_t*, std::uint64_t* bytes) {
        if (answers) *bytes = free;
        return answers;
    }
};

TEST_F(FileJobs, FreeSpaceDecidesBeforeTheOutputExists) {
    make_container("c.qvk", 5000);
    write_file(dir / "plain.bin", pattern_bytes(100000));
    const std::uint64_t decrypted = 5000;
    // 100000 bytes in blocks of at least 32768: 3 blocks, reserve 1 MiB.
    const std::uint64_t encrypted = 100000;
    free_space_query() = &FakeVolume::query;

    const struct {
        const char* what;
        bool encrypting;
        bool answers;
        std::uint64_t free;
        StatusCode expected;
    } cases[] = {
        {"decrypt, size + 1 MiB", false, true, decrypted + FREE_SPACE_RESERVE, StatusCode::ok},
        {"decrypt, one byte less", false, true, decrypted + FREE_SPACE_RESERVE - 1, StatusCode::disk_full},
        {"decrypt, less than the size", false, true, decrypted - 1, StatusCode::disk_full},
        {"decrypt, query fails", false, false, 0, StatusCode::disk_full},
        {"encrypt, size + 1 MiB", true, true, encrypted + FREE_SPACE_RESERVE, StatusCode::ok},
        {"encrypt, one byte less", true, true, encrypted + FREE_SPACE_RESERVE - 1, StatusCode::disk_full},
        {"encrypt, query fails", true, false, 0, StatusCode::disk_full},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeVolume::answers = c.answers;
        FakeVolume::free = c.free;
        const StatusCode status = c.encrypting ? encrypt("plain.bin", "out") : decrypt("c.qvk", "out");
        EXPECT_EQ(status, c.expected);
        expect_released();
        EXPECT_EQ(fs::exists(dir / "out"), c.expected == StatusCode::ok);
        EXPECT_EQ(folder_entries(dir).size(), c.expected == StatusCode::ok ? 3u : 2u);
        fs::remove(dir / "out");
    }
}

TEST_F(FileJobs, TestJobReportsEveryFault) {
    make_container("c.qvk", 70000);
    write_file(dir / "plain.bin", pattern_bytes(4000));
    auto bytes = read_file(dir / "c.qvk");
    bytes.resize(bytes.size() - 10);  // the trailer ends after 6 of its 16 bytes
    write_file(dir / "cut.qvk", bytes);
    bytes = read_file(dir / "c.qvk");
    bytes[bytes.size() - 20] ^= 1;
    write_file(dir / "bent.qvk", bytes);
    const struct {
        const char* name;
        StatusCode expected;
    } cases[] = {
        {"c.qvk", StatusCode::ok},           {"cut.qvk", StatusCode::truncated},
        {"bent.qvk", StatusCode::damaged},   {"plain.bin", StatusCode::not_container},
        {"none.qvk", StatusCode::open_failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(test_file(*job, path(c.name).c_str(), nullptr), c.expected);
        EXPECT_EQ(job->status, c.expected);
        expect_released();
    }
}

TEST(RequestedBlockSize, StreamContainersAskForAtMost256K) {
    const struct {
        std::uint32_t block, rounds, expected;
    } cases[] = {
        {1048576, 0, 262144}, {262144, 0, 262144}, {262143, 0, 262143}, {32768, 0, 32768},
        {1048576, 1, 1048576}, {524288, 7, 524288},
    };
    for (const auto& c : cases) EXPECT_EQ(requested_block_size(c.block, c.rounds), c.expected) << c.block << "/" << c.rounds;
}

TEST(EncryptSpaceReserve, OneMiBPer65536Blocks) {
    const std::uint64_t MiB = 1048576;
    const struct {
        std::uint64_t size;
        std::uint32_t block;
        std::uint64_t expected;
    } cases[] = {
        {8ull << 30, 65536, 3 * MiB},         // 131072 blocks
        {100, 100, MiB},                      // short of one 32768-byte unit
        {65535ull * 32768, 1000, MiB},        // small blocks count as 32768
        {65536ull * 32768, 1000, 2 * MiB},
        {65536ull * 32768, 32768, 2 * MiB},
        {65536ull * 32769, 32769, 2 * MiB},
        {65536ull * 32769 - 1, 32769, MiB},
        {0, 0, MiB},
    };
    for (const auto& c : cases) EXPECT_EQ(encrypt_space_reserve(c.size, c.block), c.expected) << c.size;
}

TEST(HasRoom, SizePlusReserveMustFit) {
    const std::uint64_t MiB = 1048576;
    EXPECT_TRUE(has_room(1000 + MiB, 1000, MiB));
    EXPECT_FALSE(has_room(1000 + MiB - 1, 1000, MiB));
    EXPECT_FALSE(has_room(999, 1000, 0));
    EXPECT_TRUE(has_room(~0ull, ~0ull - MiB, MiB));
}

}  // namespace
}  // namespace corvane
