#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <string>

#include "cli/terminal.h"
#include "platform/device_names.h"
#include "platform/platform.h"

namespace corvane::cli::terminal {
namespace {

constexpr int STATUS_INTERRUPT = 130;  // Ctrl-C, Ctrl-Break: as SIGINT elsewhere
constexpr int STATUS_HANG_UP = 129;    // the console closes, the user logs off, the system shuts down: as SIGHUP
// Windows ends a process about five seconds after a close, logoff or shutdown
// event; the handler gives the clean-up nearly all of that.
constexpr DWORD CLEAN_UP_WAIT_MS = 4500;

std::atomic<int> g_ending{0};
HANDLE g_cleaned_up = nullptr;  // manual-reset event, set by cleaned_up()
HANDLE g_main_thread = nullptr;  // where the prompts and the password file are read

void request_end(int status) {
    int none = 0;
    g_ending.compare_exchange_strong(none, status, std::memory_order_relaxed);
    // A read that waits for a pipe or the console gives up at once.
    if (g_main_thread != nullptr) CancelSynchronousIo(g_main_thread);
}

void wait_for_clean_up() {
    if (g_cleaned_up != nullptr) WaitForSingleObject(g_cleaned_up, CLEAN_UP_WAIT_MS);
}

// Runs on a thread of its own that the system starts for the event. For the
// endings after which Windows ends the process anyway, it returns only once
// the job has stopped and its temporary is gone, or time is nearly up.
BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: request_end(STATUS_INTERRUPT); return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        request_end(STATUS_HANG_UP);
        wait_for_clean_up();
        return TRUE;
    default: return FALSE;
    }
}

// A program that has loaded user32 (the entropy readings need it) is told of
// a logoff or shutdown through a top-level window, not the console handler.
LRESULT CALLBACK session_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_QUERYENDSESSION) return TRUE;
    if (message == WM_ENDSESSION) {
        if (wparam != FALSE) {
            request_end(STATUS_HANG_UP);
            wait_for_clean_up();
        }
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

DWORD WINAPI session_watch(void*) {
    WNDCLASSW type{};
    type.lpfnWndProc = session_window_proc;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"CorvaneCliSession";
    if (RegisterClassW(&type) == 0) return 0;
    HWND window = CreateWindowExW(0, type.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  type.hInstance, nullptr);
    if (window == nullptr) return 0;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

bool ending() { return g_ending.load(std::memory_order_relaxed) != 0; }

HANDLE handle_of(Stream stream) { return GetStdHandle(stream == Stream::out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

bool is_console(HANDLE handle) {
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

// UTF-16 units typed on the console to UTF-8 bytes; unpaired surrogates
// count as failures since they cannot be a password's characters.
ReadResult console_line_to_utf8(const wchar_t* units, std::size_t count, char* buffer, std::size_t capacity,
                                std::size_t* length) {
    *length = 0;
    if (count == 0) return ReadResult::ok;
    const int needed = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units, static_cast<int>(count), nullptr, 0,
                                           nullptr, nullptr);
    if (needed <= 0) return ReadResult::failed;
    if (static_cast<std::size_t>(needed) > capacity) return ReadResult::too_long;
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units, static_cast<int>(count), buffer, needed, nullptr,
                        nullptr);
    *length = static_cast<std::size_t>(needed);
    return ReadResult::ok;
}

ReadResult read_console_line(HANDLE input, char* buffer, std::size_t capacity, std::size_t* length) {
    wchar_t units[1024];
    std::size_t count = 0;
    ReadResult result = ReadResult::ok;
    for (;;) {
        wchar_t c = 0;
        DWORD got = 0;
        if (ending()) {
            result = ReadResult::interrupted;
            break;
        }
        if (!ReadConsoleW(input, &c, 1, &got, nullptr)) {
            result = ending() ? ReadResult::interrupted : ReadResult::failed;
            break;
        }
        if (ending()) {
            result = ReadResult::interrupted;
            break;
        }
        if (got == 0 || c == L'\n') break;
        if (c == L'\r') continue;
        if (count == sizeof units / sizeof units[0]) {
            result = ReadResult::too_long;
            continue;
        }
        units[count++] = c;
    }
    if (result == ReadResult::ok) result = console_line_to_utf8(units, count, buffer, capacity, length);
    SecureZeroMemory(units, sizeof units);
    if (result != ReadResult::ok) *length = 0;
    return result;
}

// One ReadFile that an ending cancels; got 0 at the end of the data (a pipe
// whose writer closed included).
ReadResult read_some(HANDLE input, void* into, DWORD count, DWORD* got) {
    *got = 0;
    if (ending()) return ReadResult::interrupted;
    if (ReadFile(input, into, count, got, nullptr)) return ReadResult::ok;
    const DWORD error = GetLastError();
    if (ending()) return ReadResult::interrupted;
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF || error == ERROR_PIPE_NOT_CONNECTED) {
        *got = 0;
        return ReadResult::ok;
    }
    SetLastError(error);
    return ReadResult::failed;
}

ReadResult read_file_line(HANDLE input, char* buffer, std::size_t capacity, std::size_t* length) {
    LineCollector line(buffer, capacity);
    ReadResult result = ReadResult::ok;
    for (;;) {
        char c = 0;
        DWORD got = 0;
        if ((result = read_some(input, &c, 1, &got)) != ReadResult::ok) break;
        if (got == 0 || !line.add(c)) break;
    }
    return line.finish(result, length);
}

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// A password may come through a named pipe (\\.\pipe\...), but not from the
// console or another device.
bool is_pipe_path(const std::u16string& path) {
    const std::u16string prefix = u"\\\\.\\pipe\\";
    if (path.size() <= prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char16_t c = path[i] == u'/' ? u'\\' : path[i];
        if ((c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c) != prefix[i]) return false;
    }
    return true;
}

}  // namespace

void initialise() {
    g_cleaned_up = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_main_thread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    SetConsoleCtrlHandler(on_console_event, TRUE);
    if (HANDLE watch = CreateThread(nullptr, 0, session_watch, nullptr, 0, nullptr)) CloseHandle(watch);
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool is_terminal(Stream stream) { return is_console(handle_of(stream)); }

bool input_is_terminal() { return is_console(GetStdHandle(STD_INPUT_HANDLE)); }

int width(Stream stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(handle_of(stream), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) return columns;
    }
    return 80;
}

void write(Stream stream, std::string_view utf8) {
    HANDLE handle = handle_of(stream);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || utf8.empty()) return;
    if (is_console(handle)) {
        // The console shows UTF-16 whatever its code page.
        const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        if (units <= 0) return;
        std::wstring wide_text(static_cast<std::size_t>(units), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide_text.data(), units);
        DWORD written = 0;
        WriteConsoleW(handle, wide_text.data(), static_cast<DWORD>(wide_text.size()), &written, nullptr);
        return;
    }
    while (!utf8.empty()) {
        DWORD put = 0;
        if (!WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &put, nullptr) || put == 0) return;
        utf8.remove_prefix(put);
    }
}

ReadResult read_secret_line(char* buffer, std::size_t capacity, std::size_t* length) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    if (!GetConsoleMode(input, &saved)) return ReadResult::failed;
    SetConsoleMode(input, (saved | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    const ReadResult result = read_console_line(input, buffer, capacity, length);
    SetConsoleMode(input, saved);
    write(Stream::err, "\n");  // the typed line end was not echoed
    return result;
}

ReadResult read_input_line(char* buffer, std::size_t capacity, std::size_t* length) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (is_console(input)) return read_console_line(input, buffer, capacity, length);
    return read_file_line(input, buffer, capacity, length);
}

ReadResult read_password_file(const std::u16string& path, char* buffer, std::size_t capacity, std::size_t* length,
                              std::uint32_t* error) {
    *length = 0;
    *error = 0;
    const bool pipe = is_pipe_path(path);
    if (!pipe && platform::is_device_path(path.c_str())) {
        *error = platform::ERROR_NOT_REGULAR_FILE;
        return ReadResult::failed;
    }
    HANDLE file = CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return ReadResult::failed;
    }
    const DWORD type = GetFileType(file);
    if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) {
        CloseHandle(file);
        *error = platform::ERROR_NOT_REGULAR_FILE;
        return ReadResult::failed;
    }
    ReadResult result = ReadResult::ok;
    std::size_t n = 0;
    char extra = 0;  // one byte past capacity tells a full buffer from a longer content
    for (;;) {
        DWORD got = 0;
        char* into = n < capacity ? buffer + n : &extra;
        const auto count = static_cast<DWORD>(n < capacity ? capacity - n : 1);
        if ((result = read_some(file, into, count, &got)) != ReadResult::ok) {
            if (result == ReadResult::failed) *error = GetLastError();
            break;
        }
        if (got == 0) break;
        if (n == capacity) {
            result = ReadResult::too_long;
            break;
        }
        n += got;
    }
    CloseHandle(file);
    if (result == ReadResult::ok) *length = n;
    return result;
}

bool interrupted() { return ending(); }

int interrupted_status() { return g_ending.load(std::memory_order_relaxed); }

void cleaned_up() {
    if (g_cleaned_up != nullptr) SetEvent(g_cleaned_up);
}

}  // namespace corvane::cli::terminal
