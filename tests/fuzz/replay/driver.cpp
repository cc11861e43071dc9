// A fuzz target's LLVMFuzzerTestOneInput, compiled without libFuzzer, fed
// every file of its seed corpus and every committed finding
// (tests/fuzz/findings/<target>), one case per input, so that a fixed crash
// stays fixed without a fuzzing run.
//
// The target's own checks end the process on a finding, as under the fuzzer;
// ctest runs each case as a process of its own, so the failing case names
// its input. What libFuzzer's options add is checked here: an allocation
// above the fuzz run's limit is a finding, and memory the target leaves
// allocated fails the case (LeakSanitizer's part, in every build).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/seed_containers.h"
#include "tests/support/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::atomic<long long> live_allocations{0};

void* allocate(std::size_t size) noexcept {
    if (size > (corvane::fuzz::ALLOCATION_LIMIT_MB << 20))
        corvane::fuzz::finding("allocation above the limit (MiB)", static_cast<long>(size >> 20));
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr) live_allocations.fetch_add(1, std::memory_order_relaxed);
    return p;
}

// GCC takes the free below, inlined into operator delete, for a mismatch
// with operator new; here it is the pair's own implementation.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void release(void* p) noexcept {
    if (p == nullptr) return;
    live_allocations.fetch_sub(1, std::memory_order_relaxed);
    std::free(p);
}

}  // namespace

// Every allocation of the program goes through these.
void* operator new(std::size_t size) {
    void* p = allocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t size) {
    void* p = allocate(size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace corvane {
namespace {

namespace fs = std::filesystem;

const fs::path FINDINGS = CORVANE_FUZZ_FINDINGS;

struct Input {
    std::string label;  // seed/<name> or finding/<file name>
    std::optional<fuzz::SeedFile> seed;
    fs::path finding;
};

// ctest names each case after the value printed here.
void PrintTo(const Input& input, std::ostream* out) { *out << input.label; }

std::string file_name(const fs::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

std::vector<Input> inputs() {
    std::vector<Input> out;
    for (fuzz::SeedFile& seed : fuzz::seed_corpus(CORVANE_FUZZ_TARGET))
        out.push_back({"seed/" + seed.name, std::move(seed), {}});
    std::vector<fs::path> findings;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(FINDINGS, ec))
        if (entry.is_regular_file() && file_name(entry.path())[0] != '.') findings.push_back(entry.path());
    std::sort(findings.begin(), findings.end());
    for (const fs::path& path : findings) out.push_back({"finding/" + file_name(path), std::nullopt, path});
    return out;
}

// A findings folder that moved, or a target without seeds, would leave
// nothing to replay and no failure to say so.
TEST(ReplayInputs, AreThere) {
    EXPECT_TRUE(fs::is_directory(FINDINGS)) << FINDINGS;
    EXPECT_FALSE(fuzz::seed_corpus(CORVANE_FUZZ_TARGET).empty()) << "no seeds for " << CORVANE_FUZZ_TARGET;
}

class Replay : public ::testing::TestWithParam<Input> {};

TEST_P(Replay, EndsWithoutAFinding) {
    const Input& input = GetParam();
    // The target's private folder lives for the whole process; make it before counting.
    fuzz::Scratch& files = fuzz::scratch();
    testing::Bytes bytes;
    if (input.seed) {
        bytes = fuzz::seed_bytes(*input.seed, files.keyfile());
        if (input.seed->plan) {
            ASSERT_FALSE(bytes.empty()) << "the seed container could not be made";
        }
    } else {
        ASSERT_TRUE(fs::is_regular_file(input.finding)) << input.finding;
        bytes = testing::read_file(input.finding);
        ASSERT_EQ(bytes.size(), fs::file_size(input.finding)) << input.finding;
    }
    const std::uint8_t none = 0;
    const long long before = live_allocations.load();
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.empty() ? &none : bytes.data(), bytes.size()), 0);
    EXPECT_EQ(live_allocations.load() - before, 0) << "allocations left behind by the target";
}

INSTANTIATE_TEST_SUITE_P(Corpus, Replay, ::testing::ValuesIn(inputs()));

}  // namespace
}  // namespace corvane
