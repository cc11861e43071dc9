// After a job and after the application's shutdown path, nothing secret may
// be left: the password fields, the key material, the key-file bytes, the
// cipher tables and the block buffers hold only zeros, on the heap (checked
// as each engine buffer is freed) and in the records that outlive the job.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/cipher/key_schedule.h"
#include "engine/container/block_stream.h"
#include "jobs/file_jobs.h"
#include "tests/faults/wipe_check.h"
#include "tests/support/scratch.h"
#include "ui/app_state.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::u16;

// Distinctive enough that finding it by chance is out of the question.
constexpr const char16_t* PASSWORD = u"Vq7#kestrel-WINTER-5503";
constexpr const char* PASSWORD_UTF8 = "Vq7#kestrel-WINTER-5503";

template <typename T>
bool all_zero(const T& object) {
    const auto* p = reinterpret_cast<const unsigned char*>(&object);
    return std::all_of(p, p + sizeof object, [](unsigned char b) { return b == 0; });
}

bool contains(const volatile unsigned char* area, std::size_t size, const unsigned char* needle, std::size_t length) {
    for (std::size_t i = 0; i + length <= size; ++i) {
        std::size_t j = 0;
        while (j < length && area[i + j] == needle[j]) ++j;
        if (j == length) return true;
    }
    return false;
}

// Looks through the stack below the caller, where the job's frames just were,
// for the password's UTF-8 form, which only the key schedule's locals hold.
// Under sanitizers that move locals off the stack it finds nothing either way.
[[gnu::noinline]] bool password_left_on_stack() {
    volatile unsigned char area[96 * 1024];
    const auto* needle = reinterpret_cast<const unsigned char*>(PASSWORD_UTF8);
    return contains(area, sizeof area, needle, std::strlen(PASSWORD_UTF8));
}

bool job_holds_nothing(const JobContext& job) {
    return job.buffer_size == 0 && job.block_buffer == nullptr && job.spare_buffer == nullptr &&
           job.jumble_map == nullptr && job.pad_buffer == nullptr && job.source_handle == platform::INVALID_FILE &&
           job.output_handle == platform::INVALID_FILE && job.keyfile_handle == platform::INVALID_FILE;
}

class Secrets : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = testing::scratch_dir();
        source_ = dir_ / "plain.bin";
        container_ = dir_ / "plain.bin.qvk";
        restored_ = dir_ / "restored.bin";
        keyfile_ = dir_ / "key.bin";
        plain_ = testing::pattern_bytes(150000, 11);
        testing::write_file(source_, plain_);
        testing::write_file(keyfile_, testing::pattern_bytes(70000, 12));
    }
    fs::path dir_, source_, container_, restored_, keyfile_;
    Bytes plain_;
};

struct JobCase {
    const char* name;
    std::uint32_t jumble_rounds;
    bool keyfile;
    std::size_t min_buffers;  // block buffer, and spare and map with a Jumble, and the key-file bytes
};

const JobCase JOB_CASES[] = {
    {"Stream, no key file", 0, false, 1},
    {"Jumble, key file", 3, true, 4},
};

TEST_F(Secrets, BuffersAreWipedBeforeTheyAreFreedAndTheRecordsAfterReleaseHoldNoKey) {
    for (const JobCase& c : JOB_CASES) {
        SCOPED_TRACE(c.name);
        const std::u16string key = u16(keyfile_);
        const char16_t* keyfile = c.keyfile ? key.c_str() : nullptr;

        auto job = std::make_unique<JobContext>();
        testing::wipe_check_reset();
        ASSERT_EQ(encrypt_file(*job, u16(source_).c_str(), u16(container_).c_str(), keyfile, PASSWORD, nullptr, 32768,
                               c.jumble_rounds, nullptr),
                  StatusCode::ok);
        testing::WipeReport wipes = testing::wipe_check_report();
        EXPECT_GE(wipes.allocated, c.min_buffers);
        EXPECT_EQ(wipes.live, 0u);
        EXPECT_EQ(wipes.freed_dirty, 0u);
        EXPECT_TRUE(all_zero(job->cipher));
        EXPECT_TRUE(all_zero(job->short_buffer));
        EXPECT_TRUE(job_holds_nothing(*job));
        EXPECT_FALSE(password_left_on_stack());

        testing::wipe_check_reset();
        ASSERT_EQ(decrypt_file(*job, u16(container_).c_str(), u16(restored_).c_str(), keyfile, PASSWORD, nullptr),
                  StatusCode::ok);
        EXPECT_EQ(testing::read_file(restored_), plain_);
        wipes = testing::wipe_check_report();
        EXPECT_GE(wipes.allocated, c.min_buffers);
        EXPECT_EQ(wipes.live, 0u);
        EXPECT_EQ(wipes.freed_dirty, 0u);
        EXPECT_TRUE(all_zero(job->cipher));
        EXPECT_TRUE(all_zero(job->short_buffer));
        EXPECT_TRUE(job_holds_nothing(*job));
        EXPECT_FALSE(password_left_on_stack());
        fs::remove(restored_);
        fs::remove(container_);
    }
}

// A job that fails half-way (wrong password, found at the trailer after every
// block was deciphered) releases as cleanly as one that succeeds.
TEST_F(Secrets, AFailedDecryptionWipesAsWell) {
    auto job = std::make_unique<JobContext>();
    ASSERT_EQ(encrypt_file(*job, u16(source_).c_str(), u16(container_).c_str(), nullptr, PASSWORD, nullptr, 32768, 7,
                           nullptr),
              StatusCode::ok);
    testing::wipe_check_reset();
    EXPECT_EQ(decrypt_file(*job, u16(container_).c_str(), u16(restored_).c_str(), nullptr, u"not it", nullptr),
              StatusCode::wrong_key);
    const testing::WipeReport wipes = testing::wipe_check_report();
    EXPECT_GE(wipes.allocated, 3u);
    EXPECT_EQ(wipes.live, 0u);
    EXPECT_EQ(wipes.freed_dirty, 0u);
    EXPECT_TRUE(all_zero(job->cipher));
    EXPECT_TRUE(job_holds_nothing(*job));
    EXPECT_FALSE(fs::exists(restored_));
}

// The application's record through a job and its shutdown: the password
// fields after the command, then the job's header, tables and buffers at exit.
TEST_F(Secrets, ShutdownLeavesNoSecretInTheApplicationRecord) {
    auto state = std::make_unique<ui::AppState>();
    const std::u16string password = PASSWORD;
    std::copy(password.begin(), password.end(), state->password);
    std::copy(password.begin(), password.end(), state->confirm);
    const std::u16string hint = u"the bird in winter";
    std::copy(hint.begin(), hint.end(), state->hint);
    const std::u16string source = u16(source_);
    const std::u16string output = u16(container_);
    std::copy(source.begin(), source.end(), state->source_path);
    std::copy(output.begin(), output.end(), state->output_path);

    ASSERT_EQ(encrypt_file(state->job, state->source_path, state->output_path, nullptr, state->password, state->hint,
                           state->block_size, state->jumble_rounds, nullptr),
              StatusCode::ok);
    ui::wipe_password_fields(*state);
    EXPECT_TRUE(all_zero(state->password));
    EXPECT_TRUE(all_zero(state->confirm));
    EXPECT_TRUE(all_zero(state->hint));

    // A job interrupted before its own release: buffers and a handle are held
    // when the shutdown comes.
    ASSERT_EQ(open_container(state->job, state->output_path), StatusCode::ok);
    ASSERT_EQ(schedule_key(state->job, PASSWORD), StatusCode::ok);
    testing::wipe_check_reset();
    ASSERT_EQ(allocate_buffers(state->job, state->job.header.block_size(), true, false), StatusCode::ok);
    std::memset(state->job.block_buffer, 0x5A, state->job.buffer_size);
    std::memset(state->job.spare_buffer, 0xA5, state->job.buffer_size);
    EXPECT_FALSE(all_zero(state->job.cipher));

    ui::wipe_paths(*state);
    ui::teardown_app_state(*state);
    const testing::WipeReport wipes = testing::wipe_check_report();
    EXPECT_EQ(wipes.allocated, 3u);
    EXPECT_EQ(wipes.live, 0u);
    EXPECT_EQ(wipes.freed_dirty, 0u);
    EXPECT_TRUE(all_zero(state->job.header.bytes));
    EXPECT_TRUE(all_zero(state->job.cipher));
    EXPECT_TRUE(all_zero(state->job.short_buffer));
    EXPECT_TRUE(all_zero(state->source_path));
    EXPECT_TRUE(all_zero(state->output_path));
    EXPECT_TRUE(job_holds_nothing(state->job));

    // Harmless when it runs once more, as the exit handler does.
    ui::teardown_app_state(*state);
    EXPECT_TRUE(job_holds_nothing(state->job));
}

}  // namespace
}  // namespace corvane
