#include "cli/progress_line.h"

#include "cli/terminal.h"
#include "cli/text.h"
#include "ui/format.h"

namespace corvane::cli {
namespace {

constexpr int BAR_MIN = 10;
constexpr int BAR_MAX = 30;

std::string shown(const char16_t* text) { return to_display_utf8(text); }

}  // namespace

std::string progress_text(const ProgressMeter& meter, const std::string& status, int width, const std::string& count) {
    // The dialog's rule: the bar is full from 99.9 % on.
    const int percent = ui::progress_position(meter.fraction);
    const std::string figure = (percent < 100 ? (percent < 10 ? "  " : " ") : "") + std::to_string(percent) + "% ";

    char16_t buffer[ui::FORMAT_UNITS];
    const std::string elapsed = shown(ui::format_duration(buffer, meter.elapsed));
    const std::string remaining = shown(ui::format_duration(buffer, meter.remaining));
    const std::string speed = shown(ui::format_speed(buffer, meter.speed));

    // The dialog's labels when the terminal is wide enough; otherwise a
    // shorter line that keeps the remaining time ahead of what may be cut.
    std::string head = status + (count.empty() ? "" : " " + count + " files") + " " + figure;
    std::string tail = "  Elapsed Time " + elapsed + "  Remaining Time " + remaining + "  Speed " + speed;
    if (static_cast<int>(head.size() + tail.size()) + 2 + BAR_MIN > width - 1) {
        head = (count.empty() ? "" : count + " ") + figure;
        tail = "  Remaining " + remaining + "  Elapsed " + elapsed + "  " + speed;
    }

    const int fixed = static_cast<int>(head.size() + tail.size()) + 2;  // the brackets
    int bar = width - 1 - fixed;
    if (bar < BAR_MIN) bar = BAR_MIN;
    if (bar > BAR_MAX) bar = BAR_MAX;
    const int filled = percent * bar / 100;
    std::string line = head + "[" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(bar - filled), '-') + "]" + tail;
    // Every text here is ASCII, so bytes are columns.
    const auto limit = static_cast<std::size_t>(width > 1 ? width - 1 : 1);
    if (line.size() > limit) line.resize(limit);
    return line;
}

void ProgressLine::on_progress(const ProgressMeter& meter) {
    std::string line = progress_text(meter, status_, width_, count_);
    const std::size_t length = line.size();
    if (length < drawn_) line.append(drawn_ - length, ' ');
    drawn_ = length;
    terminal::write(terminal::Stream::err, "\r" + line);
}

void ProgressLine::clear() {
    if (drawn_ == 0) return;
    terminal::write(terminal::Stream::err, "\r" + std::string(drawn_, ' ') + "\r");
    drawn_ = 0;
}

void ProgressLine::finish() {
    if (drawn_ == 0) return;
    terminal::write(terminal::Stream::err, "\n");
    drawn_ = 0;
}

}  // namespace corvane::cli
