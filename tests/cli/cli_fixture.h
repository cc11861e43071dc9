// The scratch-folder fixture of the command-line tests: the real program
// run on real files, with helpers for what the tests check.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/process.h"
#include "tests/support/scratch.h"

namespace corvane::testing {

namespace fs = std::filesystem;

// UTF-8 text to a path, on every system.
inline fs::path named(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

inline std::string text_of(const Bytes& b) { return std::string(b.begin(), b.end()); }
inline Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The failure line for path: the message, the system's reason if any, the status.
inline std::string failure(const std::string& path, const std::string& message, int status, const std::string& reason = {}) {
    return "corvane-cli: " + path + ": " + message + " (" + (reason.empty() ? "" : reason + "; ") + "status " +
           std::to_string(status) + ")\n";
}

inline const std::string WRONG_PASSWORD = "Password Error: The password and/or keyfile you have entered is incorrect.";
inline const std::string OPEN_ERROR = "Open Error: The file cannot be opened.";

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = scratch_dir();
        io_ = dir_.parent_path() / (dir_.filename().string() + ".io");
        std::error_code ec;
        fs::remove_all(io_, ec);
    }

    ProcessResult run(const std::vector<std::string>& args, const std::string& input = {}) {
        return run_process(cli_program(), args, dir_, io_, input);
    }

    // A file in the scratch folder with text content.
    fs::path put(const std::string& name, const std::string& content) {
        const fs::path p = dir_ / named(name);
        write_file(p, bytes_of(content));
        return p;
    }

    std::vector<std::string> entries() {
        auto names = folder_entries(dir_);
        std::sort(names.begin(), names.end());
        return names;
    }

    // Encrypts name with password "pw" from a file, expecting success.
    void encrypt_ok(const std::string& name, std::vector<std::string> extra = {}) {
        put("pw", "pw");
        std::vector<std::string> args = {"encrypt", name, "--password-file", "pw", "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProcessResult r = run(args);
        ASSERT_EQ(r.exit_code, 0) << r.err;
    }

    fs::path dir_;
    fs::path io_;
};


// Waits until the job's temporary output shows up beside the source, so the
// interrupt lands in the middle of the work. Not a timing assertion: the
// bound only keeps a broken build from hanging the suite.
inline bool wait_for_entries(const fs::path& dir, std::size_t count) {
    for (int i = 0; i < 6000; ++i) {
        if (folder_entries(dir).size() >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}


// A file of mib MiB of patterned bytes, written a MiB at a time.
inline void write_big_file(const std::filesystem::path& path, int mib, std::uint8_t seed) {
    std::ofstream big(path, std::ios::binary);
    const Bytes chunk = pattern_bytes(1 << 20, seed);
    for (int i = 0; i < mib; ++i)
        big.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
}

}  // namespace corvane::testing
