// The terminal's progress line: the dialog's figures, and a line that never
// outgrows the terminal.
#include <gtest/gtest.h>

#include <string>

#include "cli/progress_line.h"

namespace corvane::cli {
namespace {

ProgressMeter meter_at(double fraction, double elapsed, double remaining, double speed) {
    ProgressMeter m;
    m.fraction = fraction;
    m.elapsed = elapsed;
    m.remaining = remaining;
    m.speed = speed;
    return m;
}

TEST(CliProgressLine, ShowsPercentBarAndTheSystemsFigures) {
    const std::string line = progress_text(meter_at(0.5, 125, 3600, 12.34), "Encrypting...", 200);
    EXPECT_EQ(line.rfind("Encrypting...  50% [", 0), 0u) << line;
    EXPECT_NE(line.find("Elapsed Time 2 minutes, 5 seconds"), std::string::npos) << line;
    EXPECT_NE(line.find("Remaining Time 1 hour"), std::string::npos) << line;
    EXPECT_NE(line.find("Speed 12.3 MB/s"), std::string::npos) << line;
    const auto open = line.find('['), close = line.find(']');
    const std::string bar = line.substr(open + 1, close - open - 1);
    EXPECT_EQ(bar.size(), 30u);
    EXPECT_EQ(bar, std::string(15, '#') + std::string(15, '-'));
}

TEST(CliProgressLine, PercentFollowsTheDialogsRounding) {
    const struct {
        double fraction;
        const char* shows;
    } cases[] = {
        {0.0, "   0% ["}, {0.0999, "  10% ["}, {0.998, "  99% ["}, {0.999, " 100% ["}, {1.0, " 100% ["},
        {1.2, " 100% ["},  // never beyond full
    };
    for (const auto& c : cases) {
        const std::string line = progress_text(meter_at(c.fraction, 1, 1, 1), "Testing...", 200);
        EXPECT_NE(line.find(c.shows), std::string::npos) << c.fraction << ": " << line;
    }
}

TEST(CliProgressLine, NarrowTerminalKeepsTheRemainingTimeAndSpeed) {
    const std::string line = progress_text(meter_at(0.25, 8.7, 25.1, 7.4), "Encrypting...", 80);
    EXPECT_LE(line.size(), 79u);
    EXPECT_EQ(line.rfind(" 25% [", 0), 0u) << line;
    EXPECT_NE(line.find("Remaining 25.1 seconds"), std::string::npos) << line;
    EXPECT_NE(line.find("Elapsed 8.7 seconds"), std::string::npos) << line;
    EXPECT_NE(line.find("7.4 MB/s"), std::string::npos) << line;
}

TEST(CliProgressLine, NeverWiderThanTheTerminal) {
    for (int width : {1, 20, 40, 80, 120}) {
        const std::string line = progress_text(meter_at(0.25, 1e9, 1e12, 1e9), "Decrypting...", width);
        EXPECT_LE(static_cast<int>(line.size()), width > 1 ? width - 1 : 1) << width;
        EXPECT_FALSE(line.empty());
    }
}

}  // namespace
}  // namespace corvane::cli
