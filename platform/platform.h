// Everything the engine and the jobs need of the operating system. One
// implementation per system (posix.cpp, win32.cpp), chosen by the build.
//
// Paths are NUL-terminated UTF-16. Byte counts per call are 32-bit: the engine
// never moves more than one block (at most 48 MiB) at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::platform {

// A file handle is an integer on every system; on Windows it holds the HANDLE
// value, on POSIX the descriptor. INVALID_FILE is the one invalid value
// (INVALID_HANDLE_VALUE and -1 coincide).
using FileHandle = std::intptr_t;
inline constexpr FileHandle INVALID_FILE = -1;

// File attribute bits as Windows defines them.
inline constexpr std::uint32_t ATTRIBUTE_READONLY = 0x1;
inline constexpr std::uint32_t ATTRIBUTE_HIDDEN = 0x2;
inline constexpr std::uint32_t ATTRIBUTE_SYSTEM = 0x4;
inline constexpr std::uint32_t ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr std::uint32_t ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr std::uint32_t ATTRIBUTE_NORMAL = 0x80;
inline constexpr std::uint32_t ATTRIBUTE_NOT_CONTENT_INDEXED = 0x2000;

struct FileFacts {
    std::uint64_t size = 0;
    std::uint64_t write_time = 0;  // FILETIME: 100 ns units since 1601-01-01 UTC
    std::uint32_t attributes = 0;
};

// --- Errors ----------------------------------------------------------------

// The system's error code (errno, GetLastError()) of the last call of this
// layer that failed on this thread; read it right after the failure. 0 when
// the system gave no reason.
using ErrorCode = std::uint32_t;
[[nodiscard]] ErrorCode last_error();

// Reasons of refusals made without a system call (by this layer or the
// jobs), in the range Windows leaves to applications.
inline constexpr ErrorCode ERROR_NOT_REGULAR_FILE = 0x20000001;  // a folder, device, pipe or socket
inline constexpr ErrorCode ERROR_TARGET_EXISTS = 0x20000002;     // something stands at an output
inline constexpr ErrorCode ERROR_READ_ONLY_TARGET = 0x20000003;  // an output that is a read-only file

// The system's words for code, without a final period or line end, as UTF-16
// into out (capacity units); empty when the system has none.
void error_text(ErrorCode code, char16_t* out, std::size_t capacity);

// True when code says that the target of a create or a move already exists.
[[nodiscard]] bool is_exists_error(ErrorCode code);

// --- Files -----------------------------------------------------------------

// Existing regular file, read access, others may read too (FILE_SHARE_READ).
// Anything else (a folder, a device, a pipe, a socket; on Windows also a
// reserved device name such as CON or NUL, or a \\.\ path) is refused with
// ERROR_NOT_REGULAR_FILE before anything is read from it, and opening never
// waits for a pipe's writer.
[[nodiscard]] FileHandle open_read(const char16_t* path);

// Create or truncate, write access, no sharing. Fails when the path names a
// file that is open through open_read in this process (POSIX emulates the
// sharing violation by device and inode), so a job cannot truncate its input.
[[nodiscard]] FileHandle create_write(const char16_t* path);

// Create a new file that must not exist yet (for temporary outputs); write
// access, no sharing, readable by its owner only (POSIX mode 0600). Fails if
// anything exists at the path, a symbolic link included.
[[nodiscard]] FileHandle create_new(const char16_t* path);

// Makes a file written through create_new ready to be published: it gets
// the permissions a newly created file gets (POSIX: 0666 less the umask) and
// its data reaches stable storage (fsync, FlushFileBuffers).
[[nodiscard]] bool finish_file(FileHandle file);

// Reads up to count bytes, looping over partial reads until count bytes or
// end of file. Returns false on a read error; *got holds the bytes delivered.
[[nodiscard]] bool read(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* got);

// Writes count bytes, looping over partial writes. Returns false on an error;
// *put holds the bytes written.
[[nodiscard]] bool write(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* put);

// Sets the position to offset bytes from the start.
[[nodiscard]] bool seek(FileHandle file, std::uint64_t offset);

// Size, last-write time and attributes of an open file.
[[nodiscard]] bool file_facts(FileHandle file, FileFacts* facts);

// Last-write time of an open file (creation and access times untouched).
[[nodiscard]] bool set_write_time(FileHandle file, std::uint64_t filetime);

void close(FileHandle file);

// By path, on a closed file. POSIX: read-only clears the write bits; hidden,
// system and not-content-indexed have no meaning there and are ignored.
[[nodiscard]] bool set_attributes(const char16_t* path, std::uint32_t attributes);
[[nodiscard]] bool delete_file(const char16_t* path);

// Moves from over to, replacing an existing to in one step (a symbolic link
// at to is replaced, not written through). Fails, leaving both untouched,
// when to is open through open_read in this process, is a directory, or is
// read-only. On POSIX the folder is flushed after the move.
[[nodiscard]] bool replace_file(const char16_t* from, const char16_t* to);

// Moves from to a name that must not exist, in one step: fails with an
// is_exists_error code, leaving both untouched, when anything is at to (a
// dangling symbolic link included), also when it appeared just before.
[[nodiscard]] bool move_new(const char16_t* from, const char16_t* to);

// What stands at path itself, links not followed.
enum class PathKind { missing, file, link, folder, other };
[[nodiscard]] PathKind path_kind(const char16_t* path);

// True when something exists at path (a file, a folder, a link even when it
// dangles, a device).
[[nodiscard]] bool path_exists(const char16_t* path);

// True when both paths name the same existing file.
[[nodiscard]] bool same_file(const char16_t* a, const char16_t* b);

// Puts the length units of path, in place, into the form in which the system
// compares names: upper case on Windows, whose names ignore letter case;
// unchanged on POSIX. Two names of one file that is yet to be created, which
// differ in letter case alone, then compare equal.
void fold_name_case(char16_t* path, std::size_t length);

// The identity of the existing file at path (links followed): equal for two
// names of one file, different for different files. False if it has none.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
[[nodiscard]] bool file_identity(const char16_t* path, FileIdentity* identity);

// Bytes available to this user on the volume holding directory (which ends in
// a separator, or is empty for the current directory). False if the query fails.
[[nodiscard]] bool free_space(const char16_t* directory, std::uint64_t* bytes);

// --- Time ------------------------------------------------------------------

// Monotonic milliseconds, 32 bits, wrapping.
[[nodiscard]] std::uint32_t tick_ms();
void sleep_ms(std::uint32_t milliseconds);

// Now as a FILETIME.
[[nodiscard]] std::uint64_t now_filetime();

// Calendar fields (taken as UTC) to a FILETIME. False if they do not form a
// valid date.
struct CalendarTime {
    std::uint16_t year, month, day_of_week, day, hour, minute, second, milliseconds;
};
[[nodiscard]] bool calendar_to_filetime(const CalendarTime& calendar, std::uint64_t* filetime);

// The user's short date, a space and the time without seconds, in the local
// time zone. out holds 128 units; the text is empty if conversion fails.
void local_date_time_text(std::uint64_t filetime, char16_t* out);

// --- Entropy readings ------------------------------------------------------

// The raw system readings that seed a new container, in the order they are
// taken. Records without a meaning on a system are filled from its random
// source instead.
struct EntropyReadings {
    std::uint32_t perf_frequency_low = 0;
    std::uint64_t perf_counter = 0;
    std::uint64_t free_bytes = 0;
    std::uint64_t system_time = 0;
    std::uint8_t memory_record[64] = {};
    std::uint8_t system_record[48] = {};
    std::uint32_t foreground_window = 0;
    std::uint8_t window_record[60] = {};
    std::uint32_t tick = 0;
    std::uint32_t process_id = 0;
    std::uint32_t thread_id = 0;
    std::uint32_t message_time = 0;
};
void read_entropy(EntropyReadings* readings);

// --- The build ---------------------------------------------------------------

// The system and processor this build is for, e.g. "Linux x86_64".
[[nodiscard]] const char* built_for();

// --- Secrets ---------------------------------------------------------------

// Overwrites with zeros in a way the compiler cannot remove.
void secure_wipe(void* data, std::size_t size);

}  // namespace corvane::platform
