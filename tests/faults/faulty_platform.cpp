// The fault-injecting implementation of platform/platform.h.
#include "tests/faults/faulty_platform.h"

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/platform.h"

// The real POSIX layer, built from platform/posix.cpp with the namespace
// renamed. Its records have the same definition as ours; they are declared
// here only by name, and passed through by address.
namespace corvane::platform_real {
struct FileFacts;
struct CalendarTime;
struct EntropyReadings;
enum class PathKind;
using FileHandle = std::intptr_t;
using ErrorCode = std::uint32_t;
ErrorCode last_error();
void error_text(ErrorCode code, char16_t* out, std::size_t capacity);
bool is_exists_error(ErrorCode code);
bool finish_file(FileHandle file);
bool move_new(const char16_t* from, const char16_t* to);
PathKind path_kind(const char16_t* path);
FileHandle open_read(const char16_t* path);
FileHandle create_write(const char16_t* path);
FileHandle create_new(const char16_t* path);
bool read(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* got);
bool write(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* put);
bool seek(FileHandle file, std::uint64_t offset);
bool file_facts(FileHandle file, FileFacts* facts);
bool set_write_time(FileHandle file, std::uint64_t filetime);
void close(FileHandle file);
bool set_attributes(const char16_t* path, std::uint32_t attributes);
bool delete_file(const char16_t* path);
bool replace_file(const char16_t* from, const char16_t* to);
bool path_exists(const char16_t* path);
bool same_file(const char16_t* a, const char16_t* b);
struct FileIdentity;
bool file_identity(const char16_t* path, FileIdentity* identity);
const char* built_for();
bool free_space(const char16_t* directory, std::uint64_t* bytes);
std::uint32_t tick_ms();
void sleep_ms(std::uint32_t milliseconds);
std::uint64_t now_filetime();
bool calendar_to_filetime(const CalendarTime& calendar, std::uint64_t* filetime);
void local_date_time_text(std::uint64_t filetime, char16_t* out);
void read_entropy(EntropyReadings* readings);
void secure_wipe(void* data, std::size_t size);
}  // namespace corvane::platform_real

namespace corvane::faults {

namespace {

constexpr int OP_COUNT = static_cast<int>(Op::count_);

struct State {
    std::mutex lock;
    bool armed = false;
    Op op = Op::read;
    std::uint32_t k = 0;
    Mode mode = Mode::fail;
    Fired fired;
    std::uint32_t calls[OP_COUNT] = {};
    int opened = 0;
    int closed = 0;
    std::map<std::intptr_t, std::u16string> open_files;
    const void* watched = nullptr;
    std::size_t watched_size = 0;
    int teardowns = 0;
};

State& state() {
    static State s;
    return s;
}

void restart(State& s) {
    s.fired = Fired{};
    for (auto& c : s.calls) c = 0;
    s.opened = 0;
    s.closed = 0;
    s.open_files.clear();
    s.teardowns = 0;
}

// Counts the call and tells whether it is the one planned to go wrong.
bool strike(Op op, const char16_t* path, std::uint32_t count = 0) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const std::uint32_t n = ++s.calls[static_cast<int>(op)];
    if (!s.armed || s.op != op || s.k != n) return false;
    s.fired = Fired{true, op, s.mode, path != nullptr ? std::u16string(path) : std::u16string(), count};
    // A failing call leaves the system's reason behind, as a real one does.
    errno = EIO;
    return true;
}

std::u16string path_of(std::intptr_t file) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    const auto it = s.open_files.find(file);
    return it == s.open_files.end() ? std::u16string() : it->second;
}

bool strike_handle(Op op, std::intptr_t file, std::uint32_t count = 0) {
    const std::u16string path = path_of(file);
    return strike(op, path.c_str(), count);
}

platform::FileHandle opened(platform::FileHandle file, const char16_t* path) {
    if (file == platform::INVALID_FILE) return file;
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    ++s.opened;
    s.open_files[file] = path;
    return file;
}

Mode planned_mode() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.mode;
}

}  // namespace

const char* op_name(Op op) {
    static const char* const names[OP_COUNT] = {"open_read",  "create_write",   "create_new",     "read",
                                                "write",      "seek",           "file_facts",     "set_write_time",
                                                "set_attributes", "replace_file", "free_space",     "finish_file",    "move_new"};
    const int i = static_cast<int>(op);
    return i >= 0 && i < OP_COUNT ? names[i] : "?";
}

void arm(Op op, std::uint32_t k, Mode mode) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    restart(s);
    s.armed = true;
    s.op = op;
    s.k = k;
    s.mode = mode;
}

void disarm() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    restart(s);
    s.armed = false;
}

const Fired& fired() { return state().fired; }

std::uint32_t calls(Op op) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.calls[static_cast<int>(op)];
}

int handles_opened() { return state().opened; }
int handles_closed() { return state().closed; }
int handles_open() {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return static_cast<int>(s.open_files.size());
}

void watch_teardown(const void* short_buffer, std::size_t size) {
    State& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.watched = short_buffer;
    s.watched_size = size;
    s.teardowns = 0;
}

int teardowns() { return state().teardowns; }

}  // namespace corvane::faults

namespace corvane::platform {

namespace real = corvane::platform_real;
using faults::Mode;
using faults::Op;

ErrorCode last_error() { return real::last_error(); }
void error_text(ErrorCode code, char16_t* out, std::size_t capacity) { real::error_text(code, out, capacity); }
bool is_exists_error(ErrorCode code) { return real::is_exists_error(code); }

bool finish_file(FileHandle file) {
    if (faults::strike_handle(Op::finish_file, file)) return false;
    return real::finish_file(file);
}

bool move_new(const char16_t* from, const char16_t* to) {
    if (faults::strike(Op::move_new, to)) return false;
    return real::move_new(from, to);
}

PathKind path_kind(const char16_t* path) { return static_cast<PathKind>(static_cast<int>(real::path_kind(path))); }

FileHandle open_read(const char16_t* path) {
    if (faults::strike(Op::open_read, path)) return INVALID_FILE;
    return faults::opened(real::open_read(path), path);
}

FileHandle create_write(const char16_t* path) {
    if (faults::strike(Op::create_write, path)) return INVALID_FILE;
    return faults::opened(real::create_write(path), path);
}

FileHandle create_new(const char16_t* path) {
    if (faults::strike(Op::create_new, path)) return INVALID_FILE;
    return faults::opened(real::create_new(path), path);
}

bool read(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* got) {
    if (faults::strike_handle(Op::read, file, count)) {
        if (faults::planned_mode() == Mode::fail) {
            *got = 0;
            return false;
        }
        return real::read(file, buffer, count / 2, got);
    }
    return real::read(file, buffer, count, got);
}

bool write(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* put) {
    if (faults::strike_handle(Op::write, file, count)) {
        if (faults::planned_mode() == Mode::fail) {
            *put = 0;
            return false;
        }
        return real::write(file, buffer, count / 2, put);
    }
    return real::write(file, buffer, count, put);
}

bool seek(FileHandle file, std::uint64_t offset) {
    if (faults::strike_handle(Op::seek, file)) return false;
    return real::seek(file, offset);
}

bool file_facts(FileHandle file, FileFacts* facts) {
    if (faults::strike_handle(Op::file_facts, file)) return false;
    return real::file_facts(file, reinterpret_cast<real::FileFacts*>(facts));
}

bool set_write_time(FileHandle file, std::uint64_t filetime) {
    if (faults::strike_handle(Op::set_write_time, file)) return false;
    return real::set_write_time(file, filetime);
}

void close(FileHandle file) {
    {
        faults::State& s = faults::state();
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.open_files.erase(file) != 0) ++s.closed;
    }
    real::close(file);
}

bool set_attributes(const char16_t* path, std::uint32_t attributes) {
    if (faults::strike(Op::set_attributes, path)) return false;
    return real::set_attributes(path, attributes);
}

// Deleting is the clean-up itself; it is not made to fail.
bool delete_file(const char16_t* path) { return real::delete_file(path); }

bool replace_file(const char16_t* from, const char16_t* to) {
    if (faults::strike(Op::replace_file, to)) return false;
    return real::replace_file(from, to);
}

bool path_exists(const char16_t* path) { return real::path_exists(path); }
bool same_file(const char16_t* a, const char16_t* b) { return real::same_file(a, b); }
bool file_identity(const char16_t* path, FileIdentity* identity) {
    return real::file_identity(path, reinterpret_cast<real::FileIdentity*>(identity));
}
const char* built_for() { return real::built_for(); }

bool free_space(const char16_t* directory, std::uint64_t* bytes) {
    if (faults::strike(Op::free_space, directory)) return false;
    return real::free_space(directory, bytes);
}

std::uint32_t tick_ms() { return real::tick_ms(); }
void sleep_ms(std::uint32_t milliseconds) { real::sleep_ms(milliseconds); }
std::uint64_t now_filetime() { return real::now_filetime(); }
bool calendar_to_filetime(const CalendarTime& calendar, std::uint64_t* filetime) {
    return real::calendar_to_filetime(reinterpret_cast<const real::CalendarTime&>(calendar), filetime);
}
void local_date_time_text(std::uint64_t filetime, char16_t* out) { real::local_date_time_text(filetime, out); }
void read_entropy(EntropyReadings* readings) { real::read_entropy(reinterpret_cast<real::EntropyReadings*>(readings)); }

void secure_wipe(void* data, std::size_t size) {
    {
        faults::State& s = faults::state();
        std::lock_guard<std::mutex> guard(s.lock);
        if (data == s.watched && size == s.watched_size) ++s.teardowns;
    }
    real::secure_wipe(data, size);
}

}  // namespace corvane::platform
