#include "ui/app_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "tests/support/scratch.h"

namespace corvane::ui {
namespace {

template <std::size_t N>
bool all_zero(const char16_t (&field)[N]) {
    return std::all_of(field, field + N, [](char16_t c) { return c == 0; });
}

template <std::size_t N>
void fill(char16_t (&field)[N], char16_t unit) {
    std::fill(field, field + N, unit);
}

TEST(AppState, Defaults) {
    auto state = std::make_unique<AppState>();
    for (const AppState* s : {state.get(), &app_state()}) {
        EXPECT_EQ(std::u16string(s->title), u"Corvane");
        EXPECT_EQ(s->jumble_rounds, 7u);
        EXPECT_EQ(s->block_size, 524288u);
        EXPECT_EQ(s->mode, MODE_NOTHING);
        EXPECT_EQ(s->use_keyfile, 0u);
        EXPECT_EQ(s->main_window, nullptr);
        EXPECT_EQ(s->worker_thread, nullptr);
        EXPECT_EQ(s->job_token, 0u);
        EXPECT_TRUE(all_zero(s->source_path));
        EXPECT_TRUE(all_zero(s->password));
        EXPECT_EQ(s->job.source_handle, platform::INVALID_FILE);
        EXPECT_EQ(s->job.output_handle, platform::INVALID_FILE);
        EXPECT_EQ(s->job.keyfile_handle, platform::INVALID_FILE);
        EXPECT_EQ(s->job.run_state.load(), RunState::idle);
        EXPECT_EQ(s->job.status, StatusCode::ok);
    }
    EXPECT_EQ(&app_state(), &app_state());
}

TEST(AppState, WipingTouchesOnlyItsFields) {
    auto state = std::make_unique<AppState>();
    for (auto* field : {&state->pick_path, &state->source_path, &state->output_path, &state->keyfile_path}) fill(*field, u'p');
    fill(state->password, u'x');
    fill(state->confirm, u'y');
    fill(state->hint, u'z');
    fill(state->scratch_text, u's');

    wipe_password_fields(*state);
    EXPECT_TRUE(all_zero(state->password));
    EXPECT_TRUE(all_zero(state->confirm));
    EXPECT_TRUE(all_zero(state->hint));
    EXPECT_EQ(state->source_path[PATH_FIELD_UNITS - 1], u'p');

    wipe_paths(*state);
    EXPECT_TRUE(all_zero(state->pick_path));
    EXPECT_TRUE(all_zero(state->source_path));
    EXPECT_TRUE(all_zero(state->output_path));
    EXPECT_TRUE(all_zero(state->keyfile_path));
    EXPECT_EQ(state->scratch_text[SCRATCH_UNITS - 1], u's');
}

TEST(AppState, TeardownReleasesWhatAJobLeft) {
    const auto dir = testing::scratch_dir();
    testing::write_file(dir / "f.bin", testing::pattern_bytes(100));
    auto state = std::make_unique<AppState>();
    JobContext& job = state->job;
    job.source_handle = platform::open_read(testing::u16(dir / "f.bin").c_str());
    ASSERT_NE(job.source_handle, platform::INVALID_FILE);
    ASSERT_EQ(allocate_buffers(job, 4096, true, false), StatusCode::ok);
    job.header.bytes.fill(0x5A);

    teardown_app_state(*state);
    EXPECT_EQ(job.source_handle, platform::INVALID_FILE);
    EXPECT_EQ(job.block_buffer, nullptr);
    EXPECT_EQ(job.spare_buffer, nullptr);
    EXPECT_EQ(job.jumble_map, nullptr);
    EXPECT_EQ(job.buffer_size, 0u);
    EXPECT_TRUE(std::all_of(job.header.bytes.begin(), job.header.bytes.end(), [](std::uint8_t b) { return b == 0; }));
    teardown_app_state(*state);  // again, as the exit handler does after an entry point's own call
    EXPECT_EQ(job.source_handle, platform::INVALID_FILE);
}

TEST(JobToken, DependsOnTheWindowAndTheChainOfJobs) {
    auto state = std::make_unique<AppState>();
    int dialog_a = 0;
    int dialog_b = 0;
    state->process_id = 1234;
    state->progress_window = &dialog_a;
    const std::uint32_t first = compute_job_token(*state);
    EXPECT_EQ(compute_job_token(*state), first);

    // The next job, from the same dialog resources after the first worker.
    state->job_token = first;
    state->worker_thread_id = 77;
    const std::uint32_t second = compute_job_token(*state);
    EXPECT_NE(second, first);

    state->progress_window = &dialog_b;
    EXPECT_NE(compute_job_token(*state), second);

    // The token covers exactly the 80-byte image: a field outside it changes nothing.
    state->progress_window = &dialog_a;
    state->mode = MODE_PLAIN;
    state->block_size = 1;
    EXPECT_EQ(compute_job_token(*state), second);
}

TEST(JobToken, ImageLayout) {
    auto state = std::make_unique<AppState>();
    // All zero but the last four bytes (job_token): the RotSum of the image
    // is then the sum over those bytes alone, rotated once per later byte.
    state->title = nullptr;
    state->job_token = 0x01000000;  // byte 79 is 1, the last byte summed
    EXPECT_EQ(compute_job_token(*state), 2u);
    state->job_token = 0;
    state->process_id = 1;  // byte 8, then 71 more bytes: rotated 72 times in all
    EXPECT_EQ(compute_job_token(*state), rol32(1u, 72 % 32));
}

}  // namespace
}  // namespace corvane::ui
