// What the fuzz targets share: a private folder for the input file, the fixed
// password and key file, and the checks that turn a wrong outcome into a
// finding (abort), so that libFuzzer stops and keeps the input.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <system_error>

#include "engine/container/job_context.h"
#include "tests/fuzz/seed_key.h"

namespace corvane::fuzz {

namespace fs = std::filesystem;

[[noreturn]] inline void finding(const char* what, long value) {
    std::fprintf(stderr, "FINDING: %s (%ld)\n", what, value);
    std::abort();
}

inline void expect(bool condition, const char* what, long value = 0) {
    if (!condition) finding(what, value);
}

inline void expect_status(StatusCode got, std::initializer_list<StatusCode> allowed, const char* operation) {
    for (StatusCode code : allowed)
        if (got == code) return;
    finding(operation, to_int(got));
}

// The largest single allocation a valid header allows is the permutation map
// of a 48 MiB block: 192 MiB. Anything above this is a finding: tests/fuzz/run
// hands the figure to libFuzzer, the replay checks it itself.
inline constexpr std::size_t ALLOCATION_LIMIT_MB = 200;

// One folder per process below CORVANE_FUZZ_TMP (set by tests/fuzz/run),
// CORVANE_TEST_TMP (set by the build for the replay) or the system's
// temporary folder, removed at a normal exit.
class Scratch {
public:
    Scratch() {
        dir_ = unique_folder(root());
        input_ = (dir_ / "input.qvk").u16string();
        output_ = (dir_ / "output.bin").u16string();
        keyfile_ = (dir_ / "key.bin").u16string();
        const Bytes key = seed_keyfile();
        write(dir_ / "key.bin", key.data(), key.size());
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    void put_input(const std::uint8_t* data, std::size_t size) { write(dir_ / "input.qvk", data, size); }
    const char16_t* input() const { return input_.c_str(); }
    const char16_t* output() const { return output_.c_str(); }
    const char16_t* keyfile() const { return keyfile_.c_str(); }
    fs::path output_path() const { return dir_ / "output.bin"; }

private:
    static fs::path root() {
        for (const char* variable : {"CORVANE_FUZZ_TMP", "CORVANE_TEST_TMP"}) {
            const char* base = std::getenv(variable);
            if (base != nullptr && *base != 0) return fs::path(base);
        }
        return fs::temp_directory_path();
    }
    // Processes run side by side (ctest -j, libFuzzer's jobs): the first
    // name nobody has taken yet.
    static fs::path unique_folder(const fs::path& root) {
        std::error_code ec;
        fs::create_directories(root, ec);
        std::random_device entropy;
        auto x = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        for (int attempt = 0; attempt < 1000; ++attempt) {
            x = x * 6364136223846793005ull + entropy();
            char name[40];
            std::snprintf(name, sizeof name, "corvane-fuzz-%016llx", static_cast<unsigned long long>(x));
            const fs::path dir = root / name;
            if (fs::create_directory(dir, ec)) return dir;
        }
        finding("cannot make a scratch folder", 0);
    }
    static void write(const fs::path& path, const std::uint8_t* data, std::size_t size) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out) finding("cannot write the input file", 0);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out.flush()) finding("short write of the input file", 0);
    }
    fs::path dir_;
    std::u16string input_;
    std::u16string output_;
    std::u16string keyfile_;
};

inline Scratch& scratch() {
    static Scratch s;
    return s;
}

// A job is over only when release_job has left nothing behind.
inline void expect_released(const JobContext& job) {
    expect(job.source_handle == platform::INVALID_FILE, "source handle left open");
    expect(job.output_handle == platform::INVALID_FILE, "output handle left open");
    expect(job.keyfile_handle == platform::INVALID_FILE, "key file handle left open");
    expect(job.buffer_size == 0 && job.block_buffer == nullptr && job.spare_buffer == nullptr &&
               job.jumble_map == nullptr && job.pad_buffer == nullptr,
           "buffers left after release_job");
}

// The limits a successfully opened header must respect, whatever the file held.
inline void expect_valid_header(const JobContext& job) {
    const ContainerHeader& h = job.header;
    expect(job.format_version <= 2 && h.format_version() == job.format_version, "format version",
           static_cast<long>(job.format_version));
    expect(h.flags() <= 3, "flags", h.flags());
    expect(h.schedule_version() <= 3, "schedule version", h.schedule_version());
    expect(h.jumble_rounds() <= 1048576, "jumble rounds", static_cast<long>(h.jumble_rounds()));
    expect(h.block_size() <= 50331648, "block size", static_cast<long>(h.block_size()));
    expect(h.digest_rounds() >= 4096 && h.digest_rounds() <= 1048576, "digest rounds");
    expect(h.key_rounds() >= 256 && h.key_rounds() <= 1048576, "key rounds");
    expect(h.table_rounds() >= 4096 && h.table_rounds() <= 1048576, "table rounds");
    const std::uint64_t file_size = h.file_size();
    if (file_size < 0x100000000ull) expect(h.block_size() <= file_size, "block size above a small file size");
    if (h.block_size() < 2048) expect(file_size <= h.block_size(), "small block size for a multi-block file");
    if (h.block_size() < 2) expect(h.jumble_rounds() == 0, "jumble rounds on a block below 2 bytes");
    if ((h.flags() & FLAG_SHORT_FILE) != 0) expect(file_size == SHORT_FILE_SIZE, "short file size");
    expect(load16_le(&h.bytes[header_offset::file_name + 2 * FILE_NAME_UNITS]) == 0, "file name not terminated");
    expect(load16_le(&h.bytes[header_offset::hint + 2 * HINT_UNITS]) == 0, "hint not terminated");
    if (job.format_version < 2) expect(h.flags() == 0 && h.schedule_version() == 0, "legacy flags or variant");
    expect(job.source_handle != platform::INVALID_FILE, "container not left open after a successful open");
}

}  // namespace corvane::fuzz
