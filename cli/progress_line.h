// The terminal's view of a running job: one line on standard error, redrawn
// in place with the percentage, a bar, the elapsed and remaining time and the
// speed.
#pragma once

#include <cstddef>
#include <string>

#include "engine/container/meter.h"

namespace corvane::cli {

// The line for a meter, at most width - 1 columns so the terminal never
// wraps it. status is the job's status text, e.g. "Encrypting..."; count,
// when not empty, the files done of a call ("2/8"), which the shorter line
// of a narrow terminal keeps.
[[nodiscard]] std::string progress_text(const ProgressMeter& meter, const std::string& status, int width,
                                        const std::string& count = {});

class ProgressLine final : public ProgressSink {
public:
    ProgressLine(std::string status, int width) : status_(std::move(status)), width_(width) {}
    // The meter's reports are throttled already; every one is drawn.
    void on_progress(const ProgressMeter& meter) override;
    // Ends the line if anything was drawn.
    void finish();
    // Blanks the line so that a message can take its place; the next report
    // draws it again.
    void clear();
    void set_status(std::string status, std::string count) {
        status_ = std::move(status);
        count_ = std::move(count);
    }

private:
    std::string status_;
    std::string count_;
    int width_;
    std::size_t drawn_ = 0;  // columns of the last line, to blank a longer one
};

}  // namespace corvane::cli
