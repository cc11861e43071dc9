// The command line of corvane-cli, parsed into one record. Parsing is pure:
// it touches no file and reads no password.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::cli {

enum class Command { none, encrypt, decrypt, test, info };
enum class PasswordSource { terminal, stdin_line, file };

inline constexpr std::uint32_t MAX_JUMBLE_ROUNDS = 1048576;
inline constexpr std::uint32_t MAX_BLOCK_SIZE = 50331648;

struct Options {
    Command command = Command::none;
    bool help = false;
    std::u16string input;
    std::u16string output;  // empty: the default name
    std::u16string keyfile;
    bool use_keyfile = false;
    std::u16string hint;
    std::uint32_t jumble_rounds = 7;
    std::uint32_t block_size = 524288;
    PasswordSource password = PasswordSource::terminal;
    std::u16string password_file;
    bool force = false;
    bool quiet = false;
};

struct ParseResult {
    bool ok = false;
    Options options;
    std::string error;  // one line, UTF-8, without the program name
};

// args: the arguments after the program name, already UTF-16.
[[nodiscard]] ParseResult parse_arguments(const std::vector<std::u16string>& args);

[[nodiscard]] const char* command_name(Command command);

// The --help text of the program (Command::none) or of one command.
[[nodiscard]] const char* help_text(Command command);

}  // namespace corvane::cli
