// The platform layer over Win32. The interface was cut from these calls, so
// most functions are one call; paths pass straight through as wchar_t.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/platform.h"
#include "platform/calendar.h"
#include "platform/device_names.h"
#include "platform/own_errors.h"

#include <climits>
#include <cstring>

namespace corvane::platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 paths are passed to the ...W calls as they are");
static_assert(sizeof(MEMORYSTATUSEX) == sizeof(EntropyReadings::memory_record));
static_assert(sizeof(SYSTEM_INFO) == sizeof(EntropyReadings::system_record));
static_assert(sizeof(WINDOWINFO) == sizeof(EntropyReadings::window_record));
// INVALID_HANDLE_VALUE is the HANDLE of (LONG_PTR)-1, so it maps onto INVALID_FILE.
static_assert(INVALID_FILE == static_cast<LONG_PTR>(-1));

const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

HANDLE native(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle handle_of(HANDLE h) { return reinterpret_cast<FileHandle>(h); }

std::uint64_t join(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

FILETIME split(std::uint64_t value) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(value);
    ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return ft;
}

// Windows refuses to overwrite a read-only file or a folder by itself; Wine
// running as root lets the Unix permissions decide, so the refusal is explicit.
bool is_read_only(const char16_t* path) {
    const DWORD attributes = GetFileAttributesW(wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0) return false;
    SetLastError(ERROR_ACCESS_DENIED);
    return true;
}

HANDLE open_for_identity(const char16_t* path) {
    if (is_device_path(path)) return INVALID_HANDLE_VALUE;
    return CreateFileW(wide(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A device name is refused before it is opened: opening one can already act
// on the device (a pipe's server sees a client, a port is taken).
bool refuse_device(const char16_t* path) {
    if (!is_device_path(path)) return false;
    SetLastError(ERROR_NOT_REGULAR_FILE);
    return true;
}

// Only a file on a disk is a file: the console, NUL, a pipe or a port is not.
FileHandle regular_only(HANDLE h) {
    if (h == INVALID_HANDLE_VALUE) return INVALID_FILE;
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        SetLastError(ERROR_NOT_REGULAR_FILE);
        return INVALID_FILE;
    }
    return handle_of(h);
}

// A folder cannot be opened as a file; say so rather than "access denied".
void explain_folder(const char16_t* path) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(wide(path));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        SetLastError(ERROR_NOT_REGULAR_FILE);
    else
        SetLastError(error);
}

constexpr DWORD MOVE_FLAGS = MOVEFILE_WRITE_THROUGH;

}  // namespace

// --- Files -----------------------------------------------------------------

// --- Errors ----------------------------------------------------------------

ErrorCode last_error() { return GetLastError(); }

void error_text(ErrorCode code, char16_t* out, std::size_t capacity) {
    if (capacity == 0) return;
    out[0] = 0;
    if (code == 0 || copy_own_error_text(code, out, capacity)) return;
    auto* text = reinterpret_cast<wchar_t*>(out);
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             static_cast<DWORD>(capacity), nullptr);
    while (n > 0 && (text[n - 1] == L'.' || text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) --n;
    text[n] = 0;
}

bool is_exists_error(ErrorCode code) {
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS || code == ERROR_TARGET_EXISTS;
}

// --- Files -----------------------------------------------------------------

FileHandle open_read(const char16_t* path) {
    if (refuse_device(path)) return INVALID_FILE;
    HANDLE h = CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) explain_folder(path);
    return regular_only(h);
}

FileHandle create_write(const char16_t* path) {
    if (refuse_device(path) || is_read_only(path)) return INVALID_FILE;
    return regular_only(
        CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle create_new(const char16_t* path) {
    if (refuse_device(path)) return INVALID_FILE;
    return regular_only(CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool finish_file(FileHandle file) { return FlushFileBuffers(native(file)) != 0; }

bool read(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* got) {
    std::uint32_t done = 0;
    auto* p = static_cast<std::uint8_t*>(buffer);
    bool ok = true;
    while (done < count) {
        DWORD n = 0;
        if (!ReadFile(native(file), p + done, count - done, &n, nullptr)) {
            ok = false;
            break;
        }
        if (n == 0) break;
        done += n;
    }
    if (got != nullptr) *got = done;
    return ok;
}

bool write(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* put) {
    std::uint32_t done = 0;
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    bool ok = true;
    while (done < count) {
        DWORD n = 0;
        if (!WriteFile(native(file), p + done, count - done, &n, nullptr) || n == 0) {
            ok = false;
            break;
        }
        done += n;
    }
    if (put != nullptr) *put = done;
    return ok;
}

bool seek(FileHandle file, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(native(file), to, nullptr, FILE_BEGIN) != 0;
}

bool file_facts(FileHandle file, FileFacts* facts) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(native(file), &info)) return false;
    facts->size = join(info.nFileSizeHigh, info.nFileSizeLow);
    facts->write_time = join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    facts->attributes = info.dwFileAttributes;
    return true;
}

bool set_write_time(FileHandle file, std::uint64_t filetime) {
    const FILETIME ft = split(filetime);
    return SetFileTime(native(file), nullptr, nullptr, &ft) != 0;
}

void close(FileHandle file) {
    if (file != INVALID_FILE) CloseHandle(native(file));
}

bool set_attributes(const char16_t* path, std::uint32_t attributes) {
    return SetFileAttributesW(wide(path), attributes) != 0;
}

bool delete_file(const char16_t* path) { return DeleteFileW(wide(path)) != 0; }

bool replace_file(const char16_t* from, const char16_t* to) {
    if (refuse_device(to) || is_read_only(to)) return false;
    return MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING | MOVE_FLAGS) != 0;
}

bool move_new(const char16_t* from, const char16_t* to) {
    if (refuse_device(to)) return false;
    return MoveFileExW(wide(from), wide(to), MOVE_FLAGS) != 0;
}

PathKind path_kind(const char16_t* path) {
    if (is_device_path(path)) return PathKind::other;
    const DWORD attributes = GetFileAttributesW(wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::missing;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::link;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::folder;
    return PathKind::file;
}

bool path_exists(const char16_t* path) { return path_kind(path) != PathKind::missing; }

bool file_identity(const char16_t* path, FileIdentity* identity) {
    HANDLE h = open_for_identity(path);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (!known) return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = join(info.nFileIndexHigh, info.nFileIndexLow);
    return true;
}

void fold_name_case(char16_t* path, std::size_t length) {
    // The invariant locale's upper case, as the file systems' own tables have it.
    if (length == 0 || length > static_cast<std::size_t>(INT_MAX)) return;
    wchar_t* text = reinterpret_cast<wchar_t*>(path);
    const int n = static_cast<int>(length);
    (void)LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text, n, text, n, nullptr, nullptr, 0);
}

bool same_file(const char16_t* a, const char16_t* b) {
    HANDLE first = open_for_identity(a);
    if (first == INVALID_HANDLE_VALUE) return false;
    HANDLE second = open_for_identity(b);
    bool same = false;
    if (second != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION ia;
        BY_HANDLE_FILE_INFORMATION ib;
        same = GetFileInformationByHandle(first, &ia) && GetFileInformationByHandle(second, &ib) &&
               ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
               ia.nFileIndexLow == ib.nFileIndexLow;
        CloseHandle(second);
    }
    CloseHandle(first);
    return same;
}

bool free_space(const char16_t* directory, std::uint64_t* bytes) {
    ULARGE_INTEGER available;
    const wchar_t* where = (directory != nullptr && *directory != 0) ? wide(directory) : nullptr;
    if (!GetDiskFreeSpaceExW(where, &available, nullptr, nullptr)) return false;
    *bytes = available.QuadPart;
    return true;
}

// --- Time ------------------------------------------------------------------

std::uint32_t tick_ms() { return GetTickCount(); }

void sleep_ms(std::uint32_t milliseconds) { Sleep(milliseconds); }

std::uint64_t now_filetime() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return join(ft.dwHighDateTime, ft.dwLowDateTime);
}

bool calendar_to_filetime(const CalendarTime& calendar, std::uint64_t* filetime) {
    if (!valid_calendar(calendar)) return false;
    SYSTEMTIME st;
    st.wYear = calendar.year;
    st.wMonth = calendar.month;
    st.wDayOfWeek = calendar.day_of_week;
    st.wDay = calendar.day;
    st.wHour = calendar.hour;
    st.wMinute = calendar.minute;
    st.wSecond = calendar.second;
    st.wMilliseconds = calendar.milliseconds;
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft)) return false;
    *filetime = join(ft.dwHighDateTime, ft.dwLowDateTime);
    return true;
}

void local_date_time_text(std::uint64_t filetime, char16_t* out) {
    auto* text = reinterpret_cast<wchar_t*>(out);
    text[0] = 0;
    const FILETIME ft = split(filetime);
    SYSTEMTIME utc;
    SYSTEMTIME local;
    if (!FileTimeToSystemTime(&ft, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return;
    const int date = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, text, 95);
    if (date <= 0) {
        text[0] = 0;
        return;
    }
    // The date's terminating NUL becomes the space before the time.
    text[date - 1] = L' ';
    text[date] = 0;
    if (GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, text + date, 32) <= 0) text[date] = 0;
}

// --- Entropy readings ------------------------------------------------------

void read_entropy(EntropyReadings* r) {
    // The order of the readings is part of the design; failures leave records as they are.
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    r->perf_frequency_low = static_cast<std::uint32_t>(frequency.LowPart);

    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    r->perf_counter = static_cast<std::uint64_t>(counter.QuadPart);

    ULARGE_INTEGER total_free{};
    GetDiskFreeSpaceExW(nullptr, nullptr, nullptr, &total_free);
    r->free_bytes = total_free.QuadPart;

    r->system_time = now_filetime();

    MEMORYSTATUSEX memory;
    std::memset(&memory, 0, sizeof memory);
    memory.dwLength = sizeof memory;
    GlobalMemoryStatusEx(&memory);
    std::memcpy(r->memory_record, &memory, sizeof memory);

    SYSTEM_INFO system;
    std::memset(&system, 0, sizeof system);
    GetSystemInfo(&system);
    std::memcpy(r->system_record, &system, sizeof system);

    HWND window = GetForegroundWindow();
    r->foreground_window = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window));

    WINDOWINFO info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    GetWindowInfo(window, &info);
    std::memcpy(r->window_record, &info, sizeof info);

    r->tick = GetTickCount();
    r->process_id = GetCurrentProcessId();
    r->thread_id = GetCurrentThreadId();
    r->message_time = static_cast<std::uint32_t>(GetMessageTime());
}

// --- The build ---------------------------------------------------------------

const char* built_for() { return "Windows x64"; }

// --- Secrets ---------------------------------------------------------------

void secure_wipe(void* data, std::size_t size) {
    if (data != nullptr && size != 0) SecureZeroMemory(data, size);
}

}  // namespace corvane::platform
