#include "ui/messages.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::ui {
namespace {

std::u16string t(const char16_t* text) { return text; }

TEST(StatusMessage, EveryStatusHasItsTitleAndText) {
    const struct {
        std::int32_t status;
        const char16_t* title;
        const char16_t* text;
    } cases[] = {
        {0, u"", u""},
        {7, u"Memory Error", u"Memory allocation failed."},
        {11, u"Error", u"Thread creation failed."},
        {12, u"Error", u"Window creation failed."},
        {14, u"Open Error", u"The file cannot be opened."},
        {15, u"Read Error", u"File read failed."},
        {16, u"Save Error", u"The file cannot be saved."},
        {17, u"Write Error", u"File write failed."},
        {18, u"Storage Error", u"There is not enough free disk space."},
        {19, u"Open Error", u"The file is not a valid QVK format file."},
        {20, u"Open Error", u"The file may require a newer version of Corvane."},
        {21, u"Checksum Error", u"Checksum failed. The file may be corrupt."},
        {23, u"Unexpected End of File Error", u"The file may be corrupt, incomplete, or incompatible."},
        {35, u"Password Error", u"The password and/or keyfile you have entered is incorrect."},
        {36, u"Password Error", u"Password and Confirm do not match. Try again."},
        {1, u"Error", u"Error"},
        {22, u"Error", u"Error"},
        {-1, u"Error", u"Error"},
        {1000, u"Error", u"Error"},
    };
    for (const auto& c : cases) {
        const MessageText m = status_message(c.status);
        EXPECT_EQ(t(m.title), t(c.title)) << c.status;
        EXPECT_EQ(t(m.text), t(c.text)) << c.status;
    }
    EXPECT_EQ(t(status_message(StatusCode::wrong_key).title), u"Password Error");
}

TEST(JobTexts, StartAndResult) {
    const char16_t* results[] = {
        u"Decryption completed successfully.", u"Decryption failed.",
        u"Encryption completed successfully.", u"Encryption failed.",
        u"Test completed. There are no errors.", u"Test failed.",
        u"",
    };
    for (std::uint32_t kind = 0; kind < 7; ++kind) EXPECT_EQ(t(job_result_text(kind)), t(results[kind])) << kind;
    EXPECT_EQ(t(job_result_text(0xFFFFFFFFu)), u"");
    EXPECT_EQ(t(job_result_text(completion_kind(JobKind::testing, StatusCode::damaged))), u"Test failed.");

    const char16_t* starts[][2] = {
        {u"Decrypting", u"Decrypting..."}, {u"Encrypting", u"Encrypting..."}, {u"Testing", u"Testing..."}, {u"", u""}};
    for (std::uint32_t kind = 0; kind < 4; ++kind) {
        // The wparam of the start message, as the dialog hands it on; 3 is no job.
        EXPECT_EQ(t(job_start_text(static_cast<JobKind>(kind)).title), t(starts[kind][0]));
        EXPECT_EQ(t(job_start_text(static_cast<JobKind>(kind)).text), t(starts[kind][1]));
    }
}

}  // namespace
}  // namespace corvane::ui
