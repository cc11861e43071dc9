// Helpers for tests that run whole jobs: the facts of a file on disk, and a
// progress sink that keeps what it was told.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/container/meter.h"
#include "platform/platform.h"

namespace corvane::testing {

inline platform::FileFacts facts_of(const std::filesystem::path& path) {
    platform::FileFacts facts;
    const platform::FileHandle file = platform::open_read(path.u16string().c_str());
    EXPECT_NE(file, platform::INVALID_FILE) << path;
    if (file == platform::INVALID_FILE) return facts;
    EXPECT_TRUE(platform::file_facts(file, &facts));
    platform::close(file);
    return facts;
}

struct RecordingSink : ProgressSink {
    int reports = 0;
    ProgressMeter last{};
    void on_progress(const ProgressMeter& meter) override {
        ++reports;
        last = meter;
    }
};

}  // namespace corvane::testing
