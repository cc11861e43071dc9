// corvane-cli as a function of its arguments: parses them, runs the command
// and returns the exit status.
#pragma once

#include <string>
#include <vector>

#include "cli/report.h"  // EXIT_USAGE

namespace corvane::cli {

// args: the arguments after the program name. The terminal layer must have
// been initialised.
[[nodiscard]] int run(const std::vector<std::u16string>& args);

}  // namespace corvane::cli
