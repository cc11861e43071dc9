// Runs corvane-cli as a child process for the end-to-end tests, one
// implementation per system (process_posix.cpp, process_win32.cpp).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace corvane::testing {

// The corvane-cli program under test, as a path this system can start.
std::filesystem::path cli_program();

struct ProcessResult {
    int exit_code = -1;
    std::string out;  // standard output, bytes as written
    std::string err;  // standard error
};

// Runs program with args (UTF-8) in work_dir, standard input fed from
// input, standard output and error captured through files kept in io_dir.
ProcessResult run_process(const std::filesystem::path& program, const std::vector<std::string>& args,
                          const std::filesystem::path& work_dir, const std::filesystem::path& io_dir,
                          const std::string& input = {});

// A child that keeps running while the test looks at the files it makes.
// Only POSIX can deliver it a Ctrl-C from a test; elsewhere
// can_interrupt() is false and interrupt() is not called.
struct RunningProcess {
    long long id = 0;
    std::filesystem::path io_dir;
};
[[nodiscard]] bool can_interrupt();
RunningProcess start_process(const std::filesystem::path& program, const std::vector<std::string>& args,
                             const std::filesystem::path& work_dir, const std::filesystem::path& io_dir,
                             const std::string& input = {});
void interrupt(const RunningProcess& process);
ProcessResult wait_process(const RunningProcess& process);

// The system's own words for the failures the tests provoke, as the program
// quotes them in its error lines: a missing file, a missing folder on the
// way to a file, a folder where a file was expected.
enum class Reason { no_such_file, no_such_folder, is_folder };
[[nodiscard]] std::string reason_text(Reason reason);

// POSIX hands arguments over as bytes (so malformed UTF-8 can reach the
// program) and allows : < > | ? in file names; Windows does neither.
[[nodiscard]] bool arguments_are_bytes();
[[nodiscard]] bool names_allow_reserved_characters();
// Whether two names that differ in letter case alone name one file (Windows).
[[nodiscard]] bool names_ignore_case();

// Runs program on a pseudo-terminal (POSIX only; can_use_terminal() says
// whether it is available), typing input and returning what the terminal
// showed in out.
[[nodiscard]] bool can_use_terminal();
ProcessResult run_on_terminal(const std::filesystem::path& program, const std::vector<std::string>& args,
                              const std::filesystem::path& work_dir, const std::string& typed);

}  // namespace corvane::testing
