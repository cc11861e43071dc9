// A scratch folder per test, and small file helpers for fixtures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace corvane::testing {

using Bytes = std::vector<std::uint8_t>;

// A fresh, empty folder named after the running test, below CORVANE_TEST_TMP
// (set by the build) or the system's temporary folder.
inline std::filesystem::path scratch_dir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "scratch";
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':') c = '_';
    const char* base = std::getenv("CORVANE_TEST_TMP");
    std::filesystem::path dir = (base && *base) ? std::filesystem::path(base) : std::filesystem::temp_directory_path() / "corvane-tests";
    dir /= name;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::u16string u16(const std::filesystem::path& p) { return p.u16string(); }

inline void write_file(const std::filesystem::path& p, const Bytes& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Deterministic pseudo-random bytes for fixtures.
inline Bytes pattern_bytes(std::size_t size, std::uint32_t seed = 1) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return out;
}

// Files in a folder, by name, for checks that nothing was left behind.
inline std::vector<std::string> folder_entries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
}

}  // namespace corvane::testing
