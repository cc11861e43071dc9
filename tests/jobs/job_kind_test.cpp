#include "jobs/job_kind.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(CompletionKind, KindAndOutcome) {
    EXPECT_EQ(completion_kind(JobKind::decrypting, StatusCode::ok), 0u);
    EXPECT_EQ(completion_kind(JobKind::decrypting, StatusCode::wrong_key), 1u);
    EXPECT_EQ(completion_kind(JobKind::encrypting, StatusCode::ok), 2u);
    EXPECT_EQ(completion_kind(JobKind::encrypting, StatusCode::disk_full), 3u);
    EXPECT_EQ(completion_kind(JobKind::testing, StatusCode::ok), 4u);
    EXPECT_EQ(completion_kind(JobKind::testing, StatusCode::damaged), 5u);
}

}  // namespace
}  // namespace corvane
