#include "cli/report.h"

#include <iterator>

#include "cli/text.h"
#include "ui/messages.h"

namespace corvane::cli {

void say(terminal::Stream stream, const std::string& text) { terminal::write(stream, text); }

std::string quoted_path(const std::u16string& path) { return "'" + printable_utf8(path) + "'"; }

int usage_error(Command command, const std::string& what) {
    std::string help = "corvane-cli";
    if (command != Command::none) help += std::string(" ") + command_name(command);
    say(terminal::Stream::err, "corvane-cli: " + what + ". Try '" + help + " --help'.\n");
    return EXIT_USAGE;
}

std::string refusal_line(const std::string& what) { return "corvane-cli: " + what + "\n"; }

std::string already_exists_line(const std::u16string& output) {
    return refusal_line(quoted_path(output) + " already exists; use --force to replace it");
}

std::string failure_line(StatusCode status, const std::u16string& path, platform::ErrorCode reason) {
    const ui::MessageText message = ui::status_message(status);
    std::string line = "corvane-cli: ";
    if (!path.empty()) line += printable_utf8(path) + ": ";
    line += to_display_utf8(message.title) + ": " + to_display_utf8(message.text) + " (";
    char16_t because[256] = {};
    if (reason != 0) platform::error_text(reason, because, std::size(because));
    if (because[0] != 0) line += printable_utf8(because) + "; ";
    return line + "status " + std::to_string(to_int(status)) + ")\n";
}

int status_failure(StatusCode status, const std::u16string& path, platform::ErrorCode reason) {
    say(terminal::Stream::err, failure_line(status, path, reason));
    return to_int(status);
}

}  // namespace corvane::cli
