#include "ui/progress_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvane::ui {
namespace {

// Records what the dialog would do; the confirmation runs a scripted action
// (standing for messages delivered inside its modal loop) and then answers.
class FakeHost : public ProgressHost {
public:
    void show(const ProgressDisplay& display) override { displays.push_back(display); }
    void show_status_message(StatusCode status) override {
        messages.push_back(status);
        states_during_message.push_back(state->job.run_state.load());
    }
    bool confirm_cancel() override {
        ++confirmations;
        if (during_confirmation) during_confirmation();
        return answer_yes;
    }
    void post_close() override { ++close_posts; }
    void close_confirmation() override { ++confirmation_closes; }
    void end_dialog() override { ++ends; }

    std::u16string status() const {
        for (auto it = displays.rbegin(); it != displays.rend(); ++it)
            if (it->status != nullptr) return it->status;
        return {};
    }
    std::u16string button1() const {
        for (auto it = displays.rbegin(); it != displays.rend(); ++it)
            if (it->button1 != nullptr) return it->button1;
        return {};
    }

    AppState* state = nullptr;
    std::vector<ProgressDisplay> displays;
    std::vector<StatusCode> messages;
    std::vector<RunState> states_during_message;
    int confirmations = 0, close_posts = 0, confirmation_closes = 0, ends = 0;
    bool answer_yes = false;
    std::function<void()> during_confirmation;
};

class ProgressTest : public ::testing::Test {
protected:
    ProgressTest() : state(std::make_unique<AppState>()), control(*state, host) { host.state = state.get(); }

    RunState run_state() const { return state->job.run_state.load(); }
    void start() { ASSERT_TRUE(control.begin(&dialog_marker)); }
    void fill_secrets() {
        state->password[0] = u'p';
        state->confirm[0] = u'c';
        state->hint[0] = u'h';
    }
    bool secrets_zero() const {
        for (char16_t u : state->password) if (u != 0) return false;
        for (char16_t u : state->confirm) if (u != 0) return false;
        for (char16_t u : state->hint) if (u != 0) return false;
        return true;
    }

    int dialog_marker = 0;
    std::unique_ptr<AppState> state;
    FakeHost host;
    ProgressControl control;
};

TEST_F(ProgressTest, BeginOnlyFromIdle) {
    start();
    EXPECT_EQ(run_state(), RunState::running);
    EXPECT_EQ(state->progress_window, &dialog_marker);
    const RunState busy[] = {RunState::running, RunState::paused, RunState::cancelling, RunState::closing,
                             RunState::closed};
    for (RunState s : busy) {
        state->job.run_state.store(s);
        const std::uint32_t token = state->job_token;
        EXPECT_FALSE(control.begin(nullptr));
        EXPECT_EQ(run_state(), s);
        EXPECT_EQ(state->job_token, token);
    }
}

TEST_F(ProgressTest, EachJobGetsAFreshToken) {
    start();
    const std::uint32_t first = state->job_token;
    control.job_done(first, 4);
    ASSERT_EQ(run_state(), RunState::idle);
    state->worker_thread_id = 1234;  // the first worker's id, as the thread start leaves it
    start();
    EXPECT_NE(state->job_token, first);
}

TEST_F(ProgressTest, ThreadFailureReturnsToIdleAndCloses) {
    start();
    control.thread_failed();
    EXPECT_EQ(run_state(), RunState::idle);
    EXPECT_EQ(host.messages, std::vector<StatusCode>{StatusCode::no_thread});
    EXPECT_EQ(host.close_posts, 1);
}

TEST_F(ProgressTest, PauseAndContinue) {
    start();
    control.toggle_pause();
    EXPECT_EQ(run_state(), RunState::paused);
    EXPECT_EQ(host.status(), u"Paused");
    EXPECT_EQ(host.button1(), u"&Continue");
    control.toggle_pause();
    EXPECT_EQ(run_state(), RunState::running);
    EXPECT_EQ(host.status(), u"Continuing...");
    EXPECT_EQ(host.button1(), u"&Pause");
}

TEST_F(ProgressTest, SuccessfulEndShowsResultWipesAndMarksEncryption) {
    state->mode = MODE_PLAIN;
    fill_secrets();
    start();
    control.job_done(state->job_token, 2);
    EXPECT_EQ(run_state(), RunState::idle);
    EXPECT_EQ(host.status(), u"Encryption completed successfully.");
    ASSERT_FALSE(host.displays.empty());
    EXPECT_TRUE(host.displays.back().hide_button1);
    EXPECT_EQ(std::u16string(host.displays.back().button2), u"Close");
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(secrets_zero());
    EXPECT_EQ(state->mode, MODE_ENCRYPTED);
    EXPECT_EQ(host.close_posts, 0);  // the dialog stays open with Close
}

TEST_F(ProgressTest, FailedEndShowsMessageWhileStillRunning) {
    state->mode = MODE_PLAIN;
    fill_secrets();
    start();
    state->job.status = StatusCode::disk_full;
    control.job_done(state->job_token, 3);
    EXPECT_EQ(host.status(), u"Encryption failed.");
    EXPECT_EQ(host.messages, std::vector<StatusCode>{StatusCode::disk_full});
    EXPECT_EQ(host.states_during_message, std::vector<RunState>{RunState::running});
    EXPECT_EQ(run_state(), RunState::idle);
    EXPECT_EQ(state->mode, MODE_PLAIN);
    EXPECT_TRUE(secrets_zero());
}

TEST_F(ProgressTest, OnlyEncryptionOfAPlainFileMovesToMode3) {
    const std::pair<std::int32_t, std::uint32_t> cases[] = {{MODE_CONTAINER, 0}, {MODE_CONTAINER, 4}, {MODE_NOTHING, 2}};
    for (const auto& [mode, kind] : cases) {
        state->job.run_state.store(RunState::idle);
        state->mode = mode;
        start();
        control.job_done(state->job_token, kind);
        EXPECT_EQ(state->mode, mode);
    }
}

TEST_F(ProgressTest, StaleTokensChangeNothing) {
    start();
    const std::uint32_t token = state->job_token;
    fill_secrets();
    control.job_done(token + 1, 0);
    control.job_done(0, 0);
    EXPECT_EQ(run_state(), RunState::running);
    EXPECT_TRUE(host.displays.empty());
    EXPECT_FALSE(secrets_zero());
    // The previous job's token arriving at the next job's dialog.
    control.job_done(token, 0);
    state->worker_thread_id = 77;
    start();
    control.job_done(token, 0);
    EXPECT_EQ(run_state(), RunState::running);
}

TEST_F(ProgressTest, DoneIsIgnoredOnceIdle) {
    start();
    control.job_done(state->job_token, 0);
    const std::size_t shown = host.displays.size();
    control.job_done(state->job_token, 1);
    EXPECT_EQ(host.displays.size(), shown);
    EXPECT_EQ(host.close_posts, 0);
}

TEST_F(ProgressTest, CancelAnsweredNoResumes) {
    start();
    host.during_confirmation = [&] { EXPECT_EQ(run_state(), RunState::paused); };
    control.request_close();
    EXPECT_EQ(host.confirmations, 1);
    EXPECT_EQ(run_state(), RunState::running);
    EXPECT_EQ(host.status(), u"Continuing...");
}

TEST_F(ProgressTest, CancelWhilePausedByUserStaysPaused) {
    start();
    control.toggle_pause();
    control.request_close();
    EXPECT_EQ(host.confirmations, 1);
    EXPECT_EQ(run_state(), RunState::paused);
    EXPECT_EQ(host.status(), u"Paused");
    EXPECT_EQ(host.button1(), u"&Continue");
}

TEST_F(ProgressTest, CancelConfirmedThenJobEndClosesWithoutMessage) {
    for (RunState before : {RunState::running, RunState::paused}) {
        state->job.run_state.store(RunState::idle);
        host = FakeHost{};
        host.state = state.get();
        fill_secrets();
        start();
        if (before == RunState::paused) control.toggle_pause();
        host.answer_yes = true;
        control.request_close();
        EXPECT_EQ(run_state(), RunState::cancelling);
        EXPECT_TRUE(host.displays.back().hide_button1);
        EXPECT_TRUE(host.displays.back().disable_buttons);
        EXPECT_EQ(host.status(), u"Cancelling...");
        // Pause and further close requests do nothing while cancelling.
        control.toggle_pause();
        control.request_close();
        EXPECT_EQ(host.confirmations, 1);
        EXPECT_EQ(run_state(), RunState::cancelling);
        state->job.status = StatusCode::ok;
        control.job_done(state->job_token, 0);
        EXPECT_EQ(run_state(), RunState::idle);
        EXPECT_EQ(host.close_posts, 1);
        EXPECT_TRUE(host.messages.empty());
        EXPECT_EQ(host.ends, 0);
        control.request_close();  // the posted WM_CLOSE
        EXPECT_EQ(host.ends, 1);
    }
}

TEST_F(ProgressTest, JobEndsDuringConfirmationThenYesCloses) {
    state->mode = MODE_PLAIN;
    start();
    host.answer_yes = true;
    host.during_confirmation = [&] { control.job_done(state->job_token, 2); };
    control.request_close();
    EXPECT_EQ(run_state(), RunState::idle);
    EXPECT_EQ(host.status(), u"Encryption completed successfully.");
    EXPECT_EQ(state->mode, MODE_ENCRYPTED);
    EXPECT_EQ(host.close_posts, 1);
}

TEST_F(ProgressTest, JobFailsDuringConfirmationThenNoLeavesResult) {
    start();
    host.answer_yes = false;
    host.during_confirmation = [&] {
        state->job.status = StatusCode::wrong_key;
        control.job_done(state->job_token, 1);
    };
    control.request_close();
    EXPECT_EQ(host.messages, std::vector<StatusCode>{StatusCode::wrong_key});
    EXPECT_EQ(host.states_during_message, std::vector<RunState>{RunState::paused});
    EXPECT_EQ(run_state(), RunState::idle);  // no automatic resume
    EXPECT_EQ(host.status(), u"Decryption failed.");
    EXPECT_EQ(host.close_posts, 0);
    // Enter on the hidden button 1 now closes, as Close does.
    control.toggle_pause();
    EXPECT_EQ(host.close_posts, 1);
}

TEST_F(ProgressTest, CloseWhenIdleEndsAndClosesConfirmation) {
    start();
    control.job_done(state->job_token, 4);
    control.request_close();
    EXPECT_EQ(host.confirmation_closes, 1);
    EXPECT_EQ(host.ends, 1);
    EXPECT_EQ(host.confirmations, 0);
}

TEST_F(ProgressTest, SetRunStateFromIdleOrClosing) {
    control.set_run_state(RunState::cancelling, 0);
    EXPECT_EQ(host.close_posts, 1);
    EXPECT_EQ(run_state(), RunState::idle);
    control.set_run_state(RunState::running, 0);
    EXPECT_EQ(run_state(), RunState::idle);
    state->job.run_state.store(RunState::closing);
    control.set_run_state(RunState::idle, 0);
    control.toggle_pause();
    control.request_close();
    EXPECT_EQ(run_state(), RunState::closing);
    EXPECT_TRUE(host.displays.empty());
    EXPECT_EQ(host.ends, 0);
}

TEST(ResultTexts, FinishedDisplayPerKind) {
    const std::pair<std::uint32_t, std::u16string> cases[] = {
        {0, u"Decryption completed successfully."}, {1, u"Decryption failed."},
        {2, u"Encryption completed successfully."}, {3, u"Encryption failed."},
        {4, u"Test completed. There are no errors."}, {5, u"Test failed."}, {6, u""}};
    for (const auto& [kind, text] : cases) EXPECT_EQ(std::u16string(finished_display(kind).status), text);
}

TEST(Taskbar, MarksFollowTheJob) {
    EXPECT_EQ(running_display().taskbar, TaskbarMark::normal);
    EXPECT_EQ(paused_display().taskbar, TaskbarMark::paused);
    EXPECT_EQ(cancelling_display().taskbar, TaskbarMark::paused);
    for (std::uint32_t kind : {0u, 2u, 4u}) EXPECT_EQ(finished_display(kind).taskbar, TaskbarMark::none) << kind;
    for (std::uint32_t kind : {1u, 3u, 5u}) EXPECT_EQ(finished_display(kind).taskbar, TaskbarMark::error) << kind;
}

}  // namespace
}  // namespace corvane::ui
