// The command line of corvane-cli, parsed into one record. Parsing is pure:
// it touches no file and reads no password.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jobs/file_jobs.h"

namespace corvane::cli {

enum class Command { none, encrypt, decrypt, test, info };
enum class PasswordSource { terminal, stdin_line, file };

inline constexpr unsigned MAX_JOBS = 1024;

struct Options {
    Command command = Command::none;
    bool help = false;
    bool version = false;
    std::vector<std::u16string> inputs;  // in argument order, at least one
    std::u16string output;               // -o: only with one input; empty: the default name
    std::u16string output_dir;           // -O: every output into this folder
    std::u16string keyfile;
    bool use_keyfile = false;
    std::u16string hint;
    std::uint32_t jumble_rounds = DEFAULT_JUMBLE_ROUNDS;
    std::uint32_t block_size = DEFAULT_BLOCK_SIZE;
    PasswordSource password = PasswordSource::terminal;
    std::u16string password_file;
    bool force = false;
    bool quiet = false;
    unsigned jobs = 1;  // files at once; 0: one per core
    bool json = false;
};

struct ParseResult {
    bool ok = false;
    Options options;
    std::string error;  // one line, UTF-8, without the program name
};

// args: the arguments after the program name, already UTF-16.
[[nodiscard]] ParseResult parse_arguments(const std::vector<std::u16string>& args);

[[nodiscard]] const char* command_name(Command command);

// "WHAT is longer than LIMIT characters", the refusal of a text over its field's limit.
[[nodiscard]] std::string longer_than(const std::string& what, std::size_t limit);

// The --help text of the program (Command::none) or of one command.
[[nodiscard]] std::string help_text(Command command);

}  // namespace corvane::cli
