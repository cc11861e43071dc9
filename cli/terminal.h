// Terminal services, one implementation per system (terminal_posix.cpp,
// terminal_win32.cpp): terminal checks, output, the no-echo prompt,
// standard input and Ctrl-C.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::cli::terminal {

enum class Stream { out, err };

// Called once at start, before any other thread: console modes, and the
// handlers that turn every catchable ending (Ctrl-C, termination, hang-up,
// the console's close, logoff and shutdown) into a request to stop.
void initialise();

[[nodiscard]] bool is_terminal(Stream stream);
[[nodiscard]] bool input_is_terminal();

// Columns of the terminal behind stream, or 80 when unknown.
[[nodiscard]] int width(Stream stream);

// Writes UTF-8 text; a console receives it as the characters it stands for.
void write(Stream stream, std::string_view utf8);

enum class ReadResult { ok, too_long, interrupted, failed };

// Collects one line, byte by byte, for both systems' readers. Past capacity
// the rest of the line is still consumed, so a too-long answer is not taken
// for the next one; a final "\r" (a Windows line end) is dropped.
class LineCollector {
public:
    LineCollector(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}

    // Takes one byte; false at the line's end.
    bool add(char c) {
        if (c == '\n') return false;
        if (n_ == capacity_)
            too_long_ = true;
        else
            buffer_[n_++] = c;
        return true;
    }

    // The line's outcome, given how the reading itself ended.
    ReadResult finish(ReadResult reading, std::size_t* length) {
        ReadResult result = reading == ReadResult::ok && too_long_ ? ReadResult::too_long : reading;
        if (result == ReadResult::ok && n_ > 0 && buffer_[n_ - 1] == '\r') --n_;
        *length = result == ReadResult::ok ? n_ : 0;
        return result;
    }

private:
    char* buffer_;
    std::size_t capacity_;
    std::size_t n_ = 0;
    bool too_long_ = false;
};

// Reads one line typed on the terminal without showing it. The line end is
// not stored; buffer receives at most capacity bytes (no terminator). The
// terminal's echo is restored whatever happens.
[[nodiscard]] ReadResult read_secret_line(char* buffer, std::size_t capacity, std::size_t* length);

// Reads the first line of standard input as bytes, without its line end
// ("\n" or "\r\n"); ok also when the input ends without one.
[[nodiscard]] ReadResult read_input_line(char* buffer, std::size_t capacity, std::size_t* length);

// Reads a password file: a regular file, or a pipe or FIFO that is waited
// for until Ctrl-C (or another ending). At most capacity bytes are taken; a
// longer content is too_long. On failed, *error holds the system's reason.
[[nodiscard]] ReadResult read_password_file(const std::u16string& path, char* buffer, std::size_t capacity,
                                            std::size_t* length, std::uint32_t* error);

// True once an ending has been requested (see initialise).
[[nodiscard]] bool interrupted();

// The exit status that reports the ending: 128 and the signal's number on
// POSIX (130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP); on Windows 130 for
// Ctrl-C and Ctrl-Break, 129 for the console's close, logoff and shutdown.
[[nodiscard]] int interrupted_status();

// Tells the ending's handler that the program has cleaned up and may end;
// Windows waits for it before it lets a closing console end the process.
void cleaned_up();

}  // namespace corvane::cli::terminal
