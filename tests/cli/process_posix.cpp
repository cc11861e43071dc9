#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/cli/process.h"

namespace corvane::testing {
namespace {

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<char*> argv_of(const std::filesystem::path& program, std::vector<std::string>& storage,
                           const std::vector<std::string>& args) {
    storage.clear();
    storage.push_back(program.string());
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    return argv;
}

int exit_code_of(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

std::filesystem::path cli_program() { return CORVANE_CLI_PATH; }

RunningProcess start_process(const std::filesystem::path& program, const std::vector<std::string>& args,
                             const std::filesystem::path& work_dir, const std::filesystem::path& io_dir,
                             const std::string& input) {
    std::filesystem::create_directories(io_dir);
    {
        std::ofstream in(io_dir / "stdin", std::ios::binary | std::ios::trunc);
        in << input;
    }
    std::vector<std::string> storage;
    std::vector<char*> argv = argv_of(program, storage, args);
    const std::string in_path = (io_dir / "stdin").string();
    const std::string out_path = (io_dir / "stdout").string();
    const std::string err_path = (io_dir / "stderr").string();
    const std::string dir = work_dir.string();

    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(in_path.c_str(), O_RDONLY);
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return RunningProcess{pid, io_dir};
}

ProcessResult wait_process(const RunningProcess& process) {
    int status = 0;
    while (waitpid(static_cast<pid_t>(process.id), &status, 0) < 0) {
    }
    ProcessResult result;
    result.exit_code = exit_code_of(status);
    result.out = slurp(process.io_dir / "stdout");
    result.err = slurp(process.io_dir / "stderr");
    return result;
}

ProcessResult run_process(const std::filesystem::path& program, const std::vector<std::string>& args,
                          const std::filesystem::path& work_dir, const std::filesystem::path& io_dir,
                          const std::string& input) {
    return wait_process(start_process(program, args, work_dir, io_dir, input));
}

bool can_interrupt() { return true; }

void interrupt(const RunningProcess& process) { kill(static_cast<pid_t>(process.id), SIGINT); }

std::string reason_text(Reason reason) {
    switch (reason) {
    case Reason::no_such_file:
    case Reason::no_such_folder: return std::strerror(ENOENT);
    case Reason::is_folder: return std::strerror(EISDIR);
    }
    return {};
}

bool arguments_are_bytes() { return true; }
bool names_allow_reserved_characters() { return true; }
bool names_ignore_case() { return false; }

bool can_use_terminal() { return true; }

ProcessResult run_on_terminal(const std::filesystem::path& program, const std::vector<std::string>& args,
                              const std::filesystem::path& work_dir, const std::string& typed) {
    std::vector<std::string> storage;
    std::vector<char*> argv = argv_of(program, storage, args);
    const std::string dir = work_dir.string();
    int master = -1;
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 24;
    const pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ProcessResult result;
    if (pid < 0) return result;
    // Type one line per prompt, once the program has asked and turned its
    // echo off, the way a person answers; typing ahead would be flushed.
    const auto prompts_in = [](const std::string& text) {
        std::size_t n = 0;
        for (const char* prompt : {"Password: ", "Confirm: "})
            for (auto at = text.find(prompt); at != std::string::npos; at = text.find(prompt, at + 1)) ++n;
        return n;
    };
    std::size_t next = 0;
    std::size_t lines_sent = 0;
    char buffer[4096];
    // A program stuck waiting for input must not hang the suite: after about
    // two minutes without output it is killed and the result shows it.
    int idle = 0;
    for (;;) {
        pollfd p{master, POLLIN, 0};
        const int ready = poll(&p, 1, 20);
        if (ready > 0) idle = 0;
        if (++idle > 6000) kill(pid, SIGKILL);
        if (ready > 0) {
            const ssize_t got = read(master, buffer, sizeof buffer);
            if (got <= 0) break;  // the child closed the terminal
            result.out.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        termios mode{};
        if (next < typed.size() && prompts_in(result.out) > lines_sent && tcgetattr(master, &mode) == 0 &&
            !(mode.c_lflag & ECHO)) {
            const std::size_t end = typed.find('\n', next);
            const std::size_t stop = end == std::string::npos ? typed.size() : end + 1;
            if (write(master, typed.data() + next, stop - next) < 0) break;
            next = stop;
            ++lines_sent;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            // Drain what is left, then report.
            while (poll(&p, 1, 0) > 0) {
                const ssize_t got = read(master, buffer, sizeof buffer);
                if (got <= 0) break;
                result.out.append(buffer, static_cast<std::size_t>(got));
            }
            result.exit_code = exit_code_of(status);
            close(master);
            return result;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_code = exit_code_of(status);
    close(master);
    return result;
}

}  // namespace corvane::testing
