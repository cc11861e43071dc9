#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <string>

#include "cli/terminal.h"

namespace corvane::cli::terminal {
namespace {

std::atomic<bool> g_interrupted{false};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI on_console_event(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        g_interrupted.store(true, std::memory_order_relaxed);
        return TRUE;
    }
    return FALSE;
}

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
        if (!ReadConsoleW(input, &c, 1, &got, nullptr)) {
            result = ReadResult::failed;
            break;
        }
        if (g_interrupted.load(std::memory_order_relaxed)) {
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

ReadResult read_file_line(HANDLE input, char* buffer, std::size_t capacity, std::size_t* length) {
    LineCollector line(buffer, capacity);
    ReadResult result = ReadResult::ok;
    for (;;) {
        char c = 0;
        DWORD got = 0;
        if (!ReadFile(input, &c, 1, &got, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) break;  // the writer closed its end
            result = ReadResult::failed;
            break;
        }
        if (got == 0 || !line.add(c)) break;
    }
    return line.finish(result, length);
}

}  // namespace

void initialise() {
    SetConsoleCtrlHandler(on_console_event, TRUE);
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
        std::wstring wide(static_cast<std::size_t>(units), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
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

bool interrupted() { return g_interrupted.load(std::memory_order_relaxed); }

}  // namespace corvane::cli::terminal
