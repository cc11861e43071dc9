#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>

#include "cli/terminal.h"
#include "cli/text.h"

namespace corvane::cli::terminal {
namespace {

// The signal that asked the program to end, 0 while none has. The handler
// also writes a byte into a pipe, so a wait in poll() cannot miss a signal
// that arrives just before it starts.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
int g_wake[2] = {-1, -1};

// Each of these would end the process where it stands and leave a job's
// temporary behind; they stop the job instead.
constexpr int ENDINGS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2};

extern "C" void on_ending(int signal_number) {
    int none = 0;
    g_signal.compare_exchange_strong(none, signal_number, std::memory_order_relaxed);
    if (g_wake[1] >= 0) {
        const int saved = errno;
        const char byte = 1;
        (void)!::write(g_wake[1], &byte, 1);
        errno = saved;
    }
}

int fd_of(Stream stream) { return stream == Stream::out ? STDOUT_FILENO : STDERR_FILENO; }

bool ending() { return g_signal.load(std::memory_order_relaxed) != 0; }

// Waits until fd can be read (or has hung up), or an ending arrives.
ReadResult wait_readable(int fd) {
    for (;;) {
        if (ending()) return ReadResult::interrupted;
        pollfd fds[2] = {{fd, POLLIN, 0}, {g_wake[0], POLLIN, 0}};
        const int r = ::poll(fds, g_wake[0] >= 0 ? 2 : 1, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            return ReadResult::failed;
        }
        if (ending()) return ReadResult::interrupted;
        if (fds[0].revents != 0) return ReadResult::ok;
    }
}

// Reads one line from fd byte by byte, so nothing after the line is taken
// from a shared standard input.
ReadResult read_line(int fd, char* buffer, std::size_t capacity, std::size_t* length) {
    LineCollector line(buffer, capacity);
    ReadResult result = ReadResult::ok;
    for (;;) {
        if ((result = wait_readable(fd)) != ReadResult::ok) break;
        char c = 0;
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0) {
            if (errno == EINTR) {
                if (ending()) {
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
    if (::pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) g_wake[0] = g_wake[1] = -1;
    struct sigaction action {};
    action.sa_handler = on_ending;
    sigemptyset(&action.sa_mask);
    for (const int s : ENDINGS) sigaddset(&action.sa_mask, s);
    action.sa_flags = 0;  // no SA_RESTART: a prompt's read must return
    for (const int s : ENDINGS) sigaction(s, &action, nullptr);
    // A closed pipe on the other end of standard error, or a file size limit,
    // becomes a failing write instead of an ending without clean-up.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
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

ReadResult read_password_file(const std::u16string& path, char* buffer, std::size_t capacity, std::size_t* length,
                              std::uint32_t* error) {
    *length = 0;
    *error = 0;
    // Arguments arrive as valid UTF-8, so the conversion back is exact.
    const std::string name = to_display_utf8(path);
    // Without O_NONBLOCK a FIFO's open would wait for its writer where no
    // ending could stop it.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        *error = static_cast<std::uint32_t>(errno);
        return ReadResult::failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        *error = static_cast<std::uint32_t>(S_ISDIR(st.st_mode) ? EISDIR : errno);
        ::close(fd);
        return ReadResult::failed;
    }
    const bool regular = S_ISREG(st.st_mode);
    ReadResult result = ReadResult::ok;
    std::size_t n = 0;
    // One byte past capacity tells a full buffer from a longer content.
    char extra = 0;
    for (;;) {
        if (!regular && (result = wait_readable(fd)) != ReadResult::ok) break;
        char* into = n < capacity ? buffer + n : &extra;
        const ssize_t got = ::read(fd, into, n < capacity ? capacity - n : 1);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            *error = static_cast<std::uint32_t>(errno);
            result = ReadResult::failed;
            break;
        }
        if (got == 0) break;
        if (n == capacity) {
            result = ReadResult::too_long;
            break;
        }
        n += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (result == ReadResult::ok) *length = n;
    return result;
}

bool interrupted() { return ending(); }

int interrupted_status() { return 128 + g_signal.load(std::memory_order_relaxed); }

void cleaned_up() {}

}  // namespace corvane::cli::terminal
