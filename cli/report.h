// What corvane-cli tells the user: usage errors, refusals and the failure
// line of a status, each naming the file it concerns.
#pragma once

#include <string>

#include "cli/args.h"
#include "cli/terminal.h"
#include "engine/container/status.h"
#include "platform/platform.h"

namespace corvane::cli {

inline constexpr int EXIT_USAGE = 2;

void say(terminal::Stream stream, const std::string& text);

// A path as the user gave it, escaped and in quotes: 'notes.txt'.
[[nodiscard]] std::string quoted_path(const std::u16string& path);

// "corvane-cli: WHAT. Try 'corvane-cli COMMAND --help'." (shown), and EXIT_USAGE.
int usage_error(Command command, const std::string& what);

// The line of a refusal before any work on a file: "corvane-cli: WHAT".
[[nodiscard]] std::string refusal_line(const std::string& what);
[[nodiscard]] std::string already_exists_line(const std::u16string& output);

// The failure line of a status: the file it concerns (when given), the
// message, and the system's reason where it gave one, e.g.
// "corvane-cli: notes.txt: Open Error: The file cannot be opened. (No such
// file or directory; status 14)".
[[nodiscard]] std::string failure_line(StatusCode status, const std::u16string& path = {},
                                       platform::ErrorCode reason = 0);

// failure_line shown; returns the status as the exit status.
int status_failure(StatusCode status, const std::u16string& path = {}, platform::ErrorCode reason = 0);

}  // namespace corvane::cli
