// Terminal services, one implementation per system (terminal_posix.cpp,
// terminal_win32.cpp): terminal checks, output, the no-echo prompt,
// standard input and Ctrl-C.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvane::cli::terminal {

enum class Stream { out, err };

// Called once at start: console modes and the interrupt handler.
void initialise();

[[nodiscard]] bool is_terminal(Stream stream);
[[nodiscard]] bool input_is_terminal();

// Columns of the terminal behind stream, or 80 when unknown.
[[nodiscard]] int width(Stream stream);

// Writes UTF-8 text; a console receives it as the characters it stands for.
void write(Stream stream, std::string_view utf8);

enum class ReadResult { ok, too_long, interrupted, failed };

// Reads one line typed on the terminal without showing it. The line end is
// not stored; buffer receives at most capacity bytes (no terminator). The
// terminal's echo is restored whatever happens.
[[nodiscard]] ReadResult read_secret_line(char* buffer, std::size_t capacity, std::size_t* length);

// Reads the first line of standard input as bytes, without its line end
// ("\n" or "\r\n"); ok also when the input ends without one.
[[nodiscard]] ReadResult read_input_line(char* buffer, std::size_t capacity, std::size_t* length);

// True once Ctrl-C (or the system's interrupt) has been received.
[[nodiscard]] bool interrupted();

}  // namespace corvane::cli::terminal
