// The platform layer over POSIX (Linux). Paths arrive as UTF-16 and are turned
// into UTF-8 at the system call; Windows' share modes, attributes and FILETIMEs
// are emulated so that jobs behave the same on both systems.
#include "platform/platform.h"
#include "platform/calendar.h"
#include "platform/own_errors.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cuchar>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <sys/types.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace corvane::platform {
namespace {

// Seconds from 1601-01-01 to 1970-01-01, and FILETIME units per second.
constexpr std::int64_t EPOCH_DIFFERENCE_S = 11644473600;
constexpr std::uint64_t TICKS_PER_SECOND = 10000000;

// Strict UTF-16 to UTF-8: an unpaired surrogate or an empty path fails, so a
// name is never silently altered into a different file.
bool path_to_utf8(const char16_t* path, std::string* out) {
    out->clear();
    if (path == nullptr || *path == 0) return false;
    for (const char16_t* p = path; *p != 0; ++p) {
        std::uint32_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF) {
            const std::uint32_t low = p[1];
            if (low < 0xDC00 || low > 0xDFFF) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++p;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (c >> 12)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (c >> 18)));
            out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return true;
}

// The share-mode emulation: every handle this layer opened, by file identity.
// Windows refuses a write-access open of a file that another handle holds, and
// any open of a file held for writing without sharing; the registry gives the
// same answers inside this process.
using FileId = std::pair<dev_t, ino_t>;
struct Holders {
    int readers = 0;
    int writers = 0;
};

struct Registry {
    std::mutex lock;
    std::map<FileId, Holders> files;
    std::map<int, std::pair<FileId, bool>> handles;  // descriptor -> file, is writer
};

Registry& registry() {
    static Registry r;
    return r;
}

FileId id_of(const struct stat& st) { return {st.st_dev, st.st_ino}; }

// Holders of a file; callers hold the registry lock.
Holders holders_locked(const FileId& id) {
    const auto it = registry().files.find(id);
    return it == registry().files.end() ? Holders{} : it->second;
}

void register_locked(int fd, const FileId& id, bool writer) {
    Holders& h = registry().files[id];
    (writer ? h.writers : h.readers) += 1;
    registry().handles[fd] = {id, writer};
}

void unregister(int fd) {
    std::lock_guard<std::mutex> guard(registry().lock);
    const auto it = registry().handles.find(fd);
    if (it == registry().handles.end()) return;
    const auto [id, writer] = it->second;
    registry().handles.erase(it);
    const auto f = registry().files.find(id);
    if (f == registry().files.end()) return;
    (writer ? f->second.writers : f->second.readers) -= 1;
    if (f->second.readers <= 0 && f->second.writers <= 0) registry().files.erase(f);
}

bool is_held(const struct stat& st) {
    std::lock_guard<std::mutex> guard(registry().lock);
    const Holders h = holders_locked(id_of(st));
    return h.readers > 0 || h.writers > 0;
}

int close_keeping_errno(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
}

// Opens name and keeps it only when the opened file is a regular one (*st its
// facts); -1 with errno set otherwise. O_NONBLOCK lets a FIFO open at once
// instead of waiting for its other end, and O_NOCTTY keeps a terminal from
// becoming the controlling one, so the check below always gets to refuse
// them. The flag is then cleared, since a regular file never blocks: the
// callers' flags hold no status flag, and F_SETFL ignores the access mode and
// creation flags, so setting them clears it without reading the flags first.
int open_regular(const std::string& name, int flags, mode_t mode, struct stat* st) {
    int fd;
    do {
        fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    if (::fstat(fd, st) != 0) return close_keeping_errno(fd);
    if (!S_ISREG(st->st_mode)) {
        errno = static_cast<int>(S_ISDIR(st->st_mode) ? EISDIR : ERROR_NOT_REGULAR_FILE);
        return close_keeping_errno(fd);
    }
    ::fcntl(fd, F_SETFL, flags);
    return fd;
}

// Windows' read-only attribute is the owner write bit here; root could write
// such a file anyway, so the refusal is made explicitly.
bool is_read_only(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

// Opens for writing without truncating, then checks the opened file itself:
// a check by path alone could race with a rename between stat and open. A new
// file is its owner's alone until finish_file publishes it: a temporary holds
// partial plaintext while a job runs, and after a kill.
FileHandle open_for_writing(const char16_t* path, bool must_be_new) {
    std::string name;
    if (!path_to_utf8(path, &name)) {
        errno = EINVAL;
        return INVALID_FILE;
    }
    if (!must_be_new) {
        struct stat before {};
        if (::stat(name.c_str(), &before) == 0) {
            if (S_ISDIR(before.st_mode)) {
                errno = EISDIR;
                return INVALID_FILE;
            }
            if (is_held(before)) {
                errno = EBUSY;
                return INVALID_FILE;
            }
            if (is_read_only(before)) {
                errno = EACCES;
                return INVALID_FILE;
            }
        }
    }
    int flags = O_WRONLY | O_CREAT;
    if (must_be_new) flags |= O_EXCL;
    struct stat st {};
    const int fd = open_regular(name, flags, must_be_new ? 0600 : 0666, &st);
    if (fd < 0) return INVALID_FILE;
    {
        std::lock_guard<std::mutex> guard(registry().lock);
        const Holders h = holders_locked(id_of(st));
        if (h.readers > 0 || h.writers > 0) {
            errno = EBUSY;
            return close_keeping_errno(fd);
        }
        register_locked(fd, id_of(st), true);
    }
    if (!must_be_new && st.st_size != 0 && ::ftruncate(fd, 0) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return INVALID_FILE;
    }
    return fd;
}

std::uint64_t to_filetime(std::int64_t seconds, long nanoseconds) {
    if (seconds < -EPOCH_DIFFERENCE_S) return 0;
    const auto since_1601 = static_cast<std::uint64_t>(seconds + EPOCH_DIFFERENCE_S);
    if (since_1601 > (UINT64_MAX - 9999999) / TICKS_PER_SECOND) return UINT64_MAX;
    return since_1601 * TICKS_PER_SECOND + static_cast<std::uint64_t>(nanoseconds) / 100;
}

struct timespec from_filetime(std::uint64_t filetime) {
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(static_cast<std::int64_t>(filetime / TICKS_PER_SECOND) - EPOCH_DIFFERENCE_S);
    ts.tv_nsec = static_cast<long>((filetime % TICKS_PER_SECOND) * 100);
    return ts;
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Appends locale text (the C library's multibyte encoding) as UTF-16. False
// when the text does not decode or does not fit.
bool append_utf16(const char* text, char16_t* out, std::size_t* used, std::size_t capacity) {
    std::mbstate_t state{};
    const char* p = text;
    std::size_t left = std::strlen(text) + 1;  // the NUL ends the loop
    for (;;) {
        char16_t unit = 0;
        const std::size_t r = std::mbrtoc16(&unit, p, left, &state);
        if (r == static_cast<std::size_t>(-1) || r == static_cast<std::size_t>(-2)) return false;
        if (r == 0) return true;
        if (*used + 1 >= capacity) return false;
        out[(*used)++] = unit;
        if (r != static_cast<std::size_t>(-3)) {
            p += r;
            left -= r;
        }
    }
}

std::uint64_t free_bytes_of(const char* directory) {
    struct statvfs vfs {};
    if (::statvfs(directory, &vfs) != 0) return 0;
    return static_cast<std::uint64_t>(vfs.f_bavail) * static_cast<std::uint64_t>(vfs.f_frsize);
}

void fill_random(void* data, std::size_t size) {
    auto* p = static_cast<std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t got = ::getrandom(p, size, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return;  // the record is used whatever it holds
        }
        p += got;
        size -= static_cast<std::size_t>(got);
    }
}

// The source of a move: an existing file that no handle of this process holds.
bool movable(const std::string& source) {
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode) || is_held(st)) {
        errno = EBUSY;
        return false;
    }
    return true;
}

// rename that fails with EEXIST when anything is at target, a dangling link
// included, with no moment in which an arriving target could be lost.
bool rename_no_replace(const std::string& source, const std::string& target) {
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    // A file system without the flag: a hard link is refused just the same by
    // an existing name, and the temporary's own name is then dropped.
    if (::link(source.c_str(), target.c_str()) != 0) return false;
    if (::unlink(source.c_str()) != 0) {
        const int saved = errno;
        ::unlink(target.c_str());
        errno = saved;
        return false;
    }
    return true;
}

// After a move the folder's entry is flushed too, so the new name survives a
// power cut; a file system that cannot flush a folder is left at that.
void sync_folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The process's umask, read without changing it where the kernel tells it
// (umask() itself sets while it reads, which other threads could notice).
mode_t process_umask() {
    static const mode_t mask = [] {
        if (FILE* status = std::fopen("/proc/self/status", "re")) {
            char line[256];
            unsigned value = 0;
            bool found = false;
            while (!found && std::fgets(line, sizeof line, status) != nullptr)
                found = std::sscanf(line, "Umask: %o", &value) == 1;
            std::fclose(status);
            if (found) return static_cast<mode_t>(value & 0777);
        }
        const mode_t old = ::umask(022);
        ::umask(old);
        return old;
    }();
    return mask;
}

// Readings are laid into the records in host order: they are only entropy,
// and the engine folds each record whole.
template <typename T>
void put(std::uint8_t* record, std::size_t offset, T value) {
    std::memcpy(record + offset, &value, sizeof value);
}

// Folds a text into 32 bits, byte by byte into four lanes.
std::uint32_t fold_text(const char* text, std::uint32_t lanes) {
    for (unsigned i = 0; text[i] != 0; ++i)
        lanes ^= static_cast<std::uint32_t>(static_cast<unsigned char>(text[i])) << (8 * (i % 4));
    return lanes;
}

}  // namespace

// --- Errors ----------------------------------------------------------------

ErrorCode last_error() { return static_cast<ErrorCode>(errno); }

void error_text(ErrorCode code, char16_t* out, std::size_t capacity) {
    if (capacity == 0) return;
    out[0] = 0;
    if (copy_own_error_text(code, out, capacity)) return;
    char buffer[256];
    const char* text = nullptr;
    if (code != 0 && code <= static_cast<ErrorCode>(INT_MAX)) text = ::strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    if (text == nullptr) return;
    std::size_t used = 0;
    if (!append_utf16(text, out, &used, capacity)) used = 0;
    while (used > 0 && (out[used - 1] == u'.' || out[used - 1] == u'\n' || out[used - 1] == u' ')) --used;
    out[used] = 0;
}

bool is_exists_error(ErrorCode code) { return code == EEXIST || code == ERROR_TARGET_EXISTS; }

// --- Files -----------------------------------------------------------------

FileHandle open_read(const char16_t* path) {
    std::string name;
    if (!path_to_utf8(path, &name)) {
        errno = EINVAL;
        return INVALID_FILE;
    }
    struct stat st {};
    const int fd = open_regular(name, O_RDONLY, 0, &st);
    if (fd < 0) return INVALID_FILE;
    std::lock_guard<std::mutex> guard(registry().lock);
    if (holders_locked(id_of(st)).writers > 0) {
        errno = EBUSY;
        return close_keeping_errno(fd);
    }
    register_locked(fd, id_of(st), false);
    return fd;
}

FileHandle create_write(const char16_t* path) { return open_for_writing(path, false); }

FileHandle create_new(const char16_t* path) { return open_for_writing(path, true); }

bool finish_file(FileHandle file) {
    const int fd = static_cast<int>(file);
    if (::fchmod(fd, 0666 & ~process_umask()) != 0) return false;
    int r;
    do {
        r = ::fsync(fd);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

bool read(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* got) {
    std::uint32_t done = 0;
    auto* p = static_cast<std::uint8_t*>(buffer);
    bool ok = true;
    while (done < count) {
        const ssize_t r = ::read(static_cast<int>(file), p + done, count - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (r == 0) break;
        done += static_cast<std::uint32_t>(r);
    }
    if (got != nullptr) *got = done;
    return ok;
}

bool write(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* put) {
    std::uint32_t done = 0;
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    bool ok = true;
    while (done < count) {
        const ssize_t r = ::write(static_cast<int>(file), p + done, count - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (r == 0) {  // no progress and no error: the device is full
            errno = ENOSPC;
            ok = false;
            break;
        }
        done += static_cast<std::uint32_t>(r);
    }
    if (put != nullptr) *put = done;
    return ok;
}

bool seek(FileHandle file, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) {
        errno = EINVAL;
        return false;
    }
    return ::lseek(static_cast<int>(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool file_facts(FileHandle file, FileFacts* facts) {
    struct stat st {};
    if (::fstat(static_cast<int>(file), &st) != 0) return false;
    facts->size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    facts->write_time = to_filetime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    facts->attributes = S_ISDIR(st.st_mode) ? ATTRIBUTE_DIRECTORY : ATTRIBUTE_ARCHIVE;
    if (is_read_only(st)) facts->attributes |= ATTRIBUTE_READONLY;
    return true;
}

bool set_write_time(FileHandle file, std::uint64_t filetime) {
    struct timespec times[2] {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = from_filetime(filetime);
    return ::futimens(static_cast<int>(file), times) == 0;
}

void close(FileHandle file) {
    if (file == INVALID_FILE) return;
    unregister(static_cast<int>(file));
    ::close(static_cast<int>(file));
}

bool set_attributes(const char16_t* path, std::uint32_t attributes) {
    std::string name;
    if (!path_to_utf8(path, &name)) return false;
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if ((attributes & ATTRIBUTE_READONLY) != 0)
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    else
        mode |= S_IWUSR;
    return ::chmod(name.c_str(), mode) == 0;
}

bool delete_file(const char16_t* path) {
    std::string name;
    if (!path_to_utf8(path, &name)) return false;
    return ::unlink(name.c_str()) == 0;
}

bool replace_file(const char16_t* from, const char16_t* to) {
    std::string source;
    std::string target;
    if (!path_to_utf8(from, &source) || !path_to_utf8(to, &target)) return false;
    if (!movable(source)) return false;
    struct stat st {};
    // The name itself: a link is replaced as a link, whatever it points at.
    if (::lstat(target.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        if (!S_ISREG(st.st_mode)) {
            errno = static_cast<int>(S_ISDIR(st.st_mode) ? EISDIR : ERROR_NOT_REGULAR_FILE);
            return false;
        }
        if (is_held(st)) {
            errno = EBUSY;
            return false;
        }
        if (is_read_only(st)) {
            errno = EACCES;
            return false;
        }
    }
    if (::rename(source.c_str(), target.c_str()) != 0) return false;
    sync_folder_of(target);
    return true;
}

bool move_new(const char16_t* from, const char16_t* to) {
    std::string source;
    std::string target;
    if (!path_to_utf8(from, &source) || !path_to_utf8(to, &target)) return false;
    if (!movable(source)) return false;
    if (!rename_no_replace(source, target)) return false;
    sync_folder_of(target);
    return true;
}

PathKind path_kind(const char16_t* path) {
    std::string name;
    if (!path_to_utf8(path, &name)) return PathKind::missing;
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0) return PathKind::missing;
    if (S_ISREG(st.st_mode)) return PathKind::file;
    if (S_ISLNK(st.st_mode)) return PathKind::link;
    if (S_ISDIR(st.st_mode)) return PathKind::folder;
    return PathKind::other;
}

bool path_exists(const char16_t* path) { return path_kind(path) != PathKind::missing; }

bool file_identity(const char16_t* path, FileIdentity* identity) {
    std::string name;
    if (!path_to_utf8(path, &name)) return false;
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0) return false;
    identity->volume = static_cast<std::uint64_t>(st.st_dev);
    identity->index = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

void fold_name_case(char16_t*, std::size_t) {}

bool same_file(const char16_t* a, const char16_t* b) {
    std::string first;
    std::string second;
    if (!path_to_utf8(a, &first) || !path_to_utf8(b, &second)) return false;
    struct stat sa {};
    struct stat sb {};
    if (::stat(first.c_str(), &sa) != 0 || ::stat(second.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool free_space(const char16_t* directory, std::uint64_t* bytes) {
    std::string name = ".";
    if (directory != nullptr && *directory != 0 && !path_to_utf8(directory, &name)) return false;
    struct statvfs vfs {};
    if (::statvfs(name.c_str(), &vfs) != 0) return false;
    *bytes = static_cast<std::uint64_t>(vfs.f_bavail) * static_cast<std::uint64_t>(vfs.f_frsize);
    return true;
}

// --- Time ------------------------------------------------------------------

std::uint32_t tick_ms() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void sleep_ms(std::uint32_t milliseconds) {
    struct timespec left {};
    left.tv_sec = static_cast<time_t>(milliseconds / 1000);
    left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

std::uint64_t now_filetime() {
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return to_filetime(ts.tv_sec, ts.tv_nsec);
}

bool calendar_to_filetime(const CalendarTime& calendar, std::uint64_t* filetime) {
    if (!valid_calendar(calendar)) return false;
    const std::int64_t days = days_from_civil(calendar.year, calendar.month, calendar.day);
    const std::int64_t seconds = days * 86400 + calendar.hour * 3600 + calendar.minute * 60 + calendar.second;
    *filetime = static_cast<std::uint64_t>(seconds + EPOCH_DIFFERENCE_S) * TICKS_PER_SECOND +
                static_cast<std::uint64_t>(calendar.milliseconds) * 10000u;
    return true;
}

void local_date_time_text(std::uint64_t filetime, char16_t* out) {
    constexpr std::size_t CAPACITY = 128;
    out[0] = 0;
    const struct timespec ts = from_filetime(filetime);
    struct tm local {};
    if (::localtime_r(&ts.tv_sec, &local) == nullptr) return;

    char date[96];
    if (std::strftime(date, sizeof date, "%x", &local) == 0) return;
    std::size_t used = 0;
    if (!append_utf16(date, out, &used, CAPACITY) || used + 1 >= CAPACITY) {
        out[0] = 0;
        return;
    }
    out[used++] = u' ';
    out[used] = 0;

    char time_text[33];
    if (std::strftime(time_text, sizeof time_text, "%H:%M", &local) == 0) return;
    const std::size_t date_end = used;
    if (!append_utf16(time_text, out, &used, CAPACITY)) used = date_end;
    out[used] = 0;
}

// --- Entropy readings ------------------------------------------------------

void read_entropy(EntropyReadings* r) {
    struct timespec ts {};
    // The monotonic clock counts nanoseconds: its "frequency" is 10^9 per second.
    r->perf_frequency_low = 1000000000u;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    r->perf_counter = static_cast<std::uint64_t>(ts.tv_sec) * 1000000000u + static_cast<std::uint64_t>(ts.tv_nsec);
    r->free_bytes = free_bytes_of(".");
    r->system_time = now_filetime();

    // Memory figures in the layout of the Windows record: length, load, then
    // seven 64-bit byte counts (physical, page file, virtual, extended).
    struct sysinfo info {};
    if (::sysinfo(&info) == 0) {
        const std::uint64_t unit = info.mem_unit == 0 ? 1 : info.mem_unit;
        const std::uint64_t total = info.totalram * unit;
        const std::uint64_t avail = (info.freeram + info.bufferram) * unit;
        std::uint8_t* m = r->memory_record;
        put<std::uint32_t>(m, 0, 64);
        put<std::uint32_t>(m, 4, total == 0 ? 0 : static_cast<std::uint32_t>(100 - avail * 100 / total));
        put<std::uint64_t>(m, 8, total);
        put<std::uint64_t>(m, 16, avail);
        put<std::uint64_t>(m, 24, total + info.totalswap * unit);
        put<std::uint64_t>(m, 32, avail + info.freeswap * unit);
        put<std::uint64_t>(m, 40, static_cast<std::uint64_t>(info.uptime));
        put<std::uint64_t>(m, 48, static_cast<std::uint64_t>(info.loads[0]) ^ (static_cast<std::uint64_t>(info.procs) << 48));
        put<std::uint64_t>(m, 56, static_cast<std::uint64_t>(info.sharedram) * unit);
    } else {
        fill_random(r->memory_record, sizeof r->memory_record);
    }

    // System figures in the layout of the Windows record: architecture, page
    // size, address range, processor mask and count, the kernel's identity.
    std::uint8_t* s = r->system_record;
    const long page = ::sysconf(_SC_PAGESIZE);
    const long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
    struct utsname name {};
    std::uint32_t identity = 0;
    std::uint16_t architecture = 0xFFFF;
    if (::uname(&name) == 0) {
        identity = fold_text(name.release, fold_text(name.version, fold_text(name.nodename, 0)));
        if (std::strcmp(name.machine, "x86_64") == 0) architecture = 9;
        else if (std::strcmp(name.machine, "aarch64") == 0) architecture = 12;
    }
    put<std::uint16_t>(s, 0, architecture);
    put<std::uint32_t>(s, 4, page > 0 ? static_cast<std::uint32_t>(page) : 4096u);
    put<std::uint64_t>(s, 8, 0x10000u);
    put<std::uint64_t>(s, 16, 0x7FFFFFFEFFFFull);
    const unsigned count = processors > 0 ? static_cast<unsigned>(processors) : 1u;
    put<std::uint64_t>(s, 24, count >= 64 ? UINT64_MAX : (std::uint64_t{1} << count) - 1);
    put<std::uint32_t>(s, 32, count);
    put<std::uint32_t>(s, 36, identity);
    put<std::uint32_t>(s, 40, 0x10000u);
    put<std::uint32_t>(s, 44, fold_text(name.machine, 0));

    // No windows or window messages here: those readings come from the random source.
    fill_random(&r->foreground_window, sizeof r->foreground_window);
    fill_random(r->window_record, sizeof r->window_record);

    r->tick = tick_ms();
    r->process_id = static_cast<std::uint32_t>(::getpid());
    r->thread_id = static_cast<std::uint32_t>(::syscall(SYS_gettid));
    fill_random(&r->message_time, sizeof r->message_time);
}

// --- The build ---------------------------------------------------------------

const char* built_for() {
#if defined(__x86_64__)
    return "Linux x86_64";
#elif defined(__aarch64__)
    return "Linux aarch64";
#else
    return "Linux";
#endif
}

// --- Secrets ---------------------------------------------------------------

void secure_wipe(void* data, std::size_t size) {
    if (data != nullptr && size != 0) ::explicit_bzero(data, size);
}

}  // namespace corvane::platform
