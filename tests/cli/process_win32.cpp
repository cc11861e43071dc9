#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "tests/cli/process.h"

namespace corvane::testing {
namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// The quoting CommandLineToArgvW and the C runtime undo.
void append_quoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        if (c == L'"') line.append(slashes * 2 + 1, L'\\');
        else line.append(slashes, L'\\');
        slashes = 0;
        line += c;
    }
    line.append(slashes * 2, L'\\');
    line += L'"';
}

std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

HANDLE inheritable(const std::filesystem::path& p, bool write) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(p.wstring().c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &sa, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// The build names the program by its Linux path when cross-building; Wine
// shows the Linux root as drive Z:.
std::filesystem::path cli_program() {
    std::string path = CORVANE_CLI_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return std::filesystem::path(wide(path));
}

RunningProcess start_process(const std::filesystem::path& program, const std::vector<std::string>& args,
                             const std::filesystem::path& work_dir, const std::filesystem::path& io_dir,
                             const std::string& input) {
    std::filesystem::create_directories(io_dir);
    {
        std::ofstream in(io_dir / "stdin", std::ios::binary | std::ios::trunc);
        in << input;
    }
    std::wstring line;
    append_quoted(line, program.wstring());
    for (const auto& arg : args) {
        line += L' ';
        append_quoted(line, wide(arg));
    }
    HANDLE in = inheritable(io_dir / "stdin", false);
    HANDLE out = inheritable(io_dir / "stdout", true);
    HANDLE err = inheritable(io_dir / "stderr", true);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION info{};
    const std::wstring dir = work_dir.wstring();
    RunningProcess running{0, io_dir};
    if (CreateProcessW(program.wstring().c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                       dir.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        running.id = reinterpret_cast<long long>(info.hProcess);
    }
    // The child holds its own copies.
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    return running;
}

ProcessResult wait_process(const RunningProcess& process) {
    ProcessResult result;
    if (process.id != 0) {
        HANDLE h = reinterpret_cast<HANDLE>(process.id);
        WaitForSingleObject(h, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(h, &code);
        result.exit_code = static_cast<int>(code);
        CloseHandle(h);
    }
    result.out = slurp(process.io_dir / "stdout");
    result.err = slurp(process.io_dir / "stderr");
    return result;
}

ProcessResult run_process(const std::filesystem::path& program, const std::vector<std::string>& args,
                          const std::filesystem::path& work_dir, const std::filesystem::path& io_dir,
                          const std::string& input) {
    return wait_process(start_process(program, args, work_dir, io_dir, input));
}

bool can_interrupt() { return false; }
void interrupt(const RunningProcess&) {}

namespace {

// The code this system (Windows or Wine) gives for the failure, found by
// provoking it: the two do not always agree on which of "file not found" and
// "path not found" a missing folder is.
DWORD provoked_code(Reason reason) {
    const std::wstring missing = L"corvane-no-such-" + std::to_wstring(GetCurrentProcessId());
    if (reason == Reason::no_such_folder) {
        ULARGE_INTEGER free{};
        if (!GetDiskFreeSpaceExW((missing + L"\\").c_str(), &free, nullptr, nullptr)) return GetLastError();
        return ERROR_PATH_NOT_FOUND;
    }
    HANDLE h = CreateFileW(missing.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD error = GetLastError();
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return error;
}

}  // namespace

std::string reason_text(Reason reason) {
    if (reason == Reason::is_folder) return "Not a regular file";
    const DWORD code = provoked_code(reason);
    wchar_t text[256] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 256,
                             nullptr);
    while (n > 0 && (text[n - 1] == L'.' || text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) --n;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), out.data(), bytes, nullptr, nullptr);
    return out;
}

bool arguments_are_bytes() { return false; }
bool names_allow_reserved_characters() { return false; }
bool names_ignore_case() { return true; }

bool can_use_terminal() { return false; }
ProcessResult run_on_terminal(const std::filesystem::path&, const std::vector<std::string>&,
                              const std::filesystem::path&, const std::string&) {
    return {};
}

}  // namespace corvane::testing
