#include <errno.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>

#include "cli/terminal.h"

namespace corvane::cli::terminal {
namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void on_interrupt(int) { g_interrupted.store(true, std::memory_order_relaxed); }

int fd_of(Stream stream) { return stream == Stream::out ? STDOUT_FILENO : STDERR_FILENO; }

// Reads one line from fd byte by byte, so nothing after the line is taken
// from a shared standard input.
ReadResult read_line(int fd, char* buffer, std::size_t capacity, std::size_t* length) {
    LineCollector line(buffer, capacity);
    ReadResult result = ReadResult::ok;
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0) {
            if (errno == EINTR) {
                if (g_interrupted.load(std::memory_order_relaxed)) {
                    result = ReadResult::interrupted;
                    break;
                }
                continue;
            }
            result = ReadResult::failed;
            break;
        }
        if (got == 0 || !line.add(c)) break;
    }
    return line.finish(result, length);
}

}  // namespace

void initialise() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a prompt's read must return on Ctrl-C
    sigaction(SIGINT, &action, nullptr);
}

bool is_terminal(Stream stream) { return ::isatty(fd_of(stream)) == 1; }

bool input_is_terminal() { return ::isatty(STDIN_FILENO) == 1; }

int width(Stream stream) {
    winsize size{};
    if (::ioctl(fd_of(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void write(Stream stream, std::string_view utf8) {
    const int fd = fd_of(stream);
    while (!utf8.empty()) {
        const ssize_t put = ::write(fd, utf8.data(), utf8.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return;
        utf8.remove_prefix(static_cast<std::size_t>(put));
    }
}

ReadResult read_secret_line(char* buffer, std::size_t capacity, std::size_t* length) {
    termios saved{};
    if (::tcgetattr(STDIN_FILENO, &saved) != 0) return ReadResult::failed;
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;  // the user still sees the line end
    if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) != 0) return ReadResult::failed;
    const ReadResult result = read_line(STDIN_FILENO, buffer, capacity, length);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (result == ReadResult::interrupted) write(Stream::err, "\n");
    return result;
}

ReadResult read_input_line(char* buffer, std::size_t capacity, std::size_t* length) {
    return read_line(STDIN_FILENO, buffer, capacity, length);
}

bool interrupted() { return g_interrupted.load(std::memory_order_relaxed); }

}  // namespace corvane::cli::terminal
