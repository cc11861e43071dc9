#include "tests/faults/wipe_check.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

namespace corvane::testing {

namespace {

// A fixed table: the hooks must not allocate. The engine holds at most five
// buffers at a time.
constexpr std::size_t SLOTS = 64;

struct Slot {
    void* pointer = nullptr;
    std::size_t size = 0;
};

struct Tracker {
    std::mutex lock;
    Slot slots[SLOTS];
    WipeReport report;
    std::size_t fail_at = 0;   // the allocation to refuse, counted from the last arming
    std::size_t attempts = 0;
};

Tracker& tracker() {
    static Tracker t;
    return t;
}

bool all_zero(const void* p, std::size_t size) {
    const auto* bytes = static_cast<const volatile std::uint8_t*>(p);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

void* track(std::size_t size) {
    Tracker& t = tracker();
    {
        std::lock_guard<std::mutex> guard(t.lock);
        if (t.fail_at != 0 && ++t.attempts == t.fail_at) return nullptr;
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(t.lock);
    for (Slot& s : t.slots) {
        if (s.pointer == nullptr) {
            s.pointer = p;
            s.size = size;
            ++t.report.allocated;
            ++t.report.live;
            break;
        }
    }
    return p;
}

void untrack(void* p) {
    if (p == nullptr) return;
    Tracker& t = tracker();
    {
        std::lock_guard<std::mutex> guard(t.lock);
        for (Slot& s : t.slots) {
            if (s.pointer == p) {
                ++t.report.freed;
                --t.report.live;
                if (!all_zero(p, s.size)) ++t.report.freed_dirty;
                s.pointer = nullptr;
                break;
            }
        }
    }
    std::free(p);
}

}  // namespace

void wipe_check_reset() {
    Tracker& t = tracker();
    std::lock_guard<std::mutex> guard(t.lock);
    for (Slot& s : t.slots) s = Slot{};
    t.report = WipeReport{};
    t.fail_at = 0;
    t.attempts = 0;
}

WipeReport wipe_check_report() {
    Tracker& t = tracker();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.report;
}

void fail_buffer(std::size_t k) {
    Tracker& t = tracker();
    std::lock_guard<std::mutex> guard(t.lock);
    t.fail_at = k;
    t.attempts = 0;
}

}  // namespace corvane::testing

// Untracked pointers (from before a reset) still come from malloc, so every
// array allocation goes through the same pair of functions.
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return corvane::testing::track(size); }
void* operator new[](std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void operator delete[](void* p) noexcept { corvane::testing::untrack(p); }
void operator delete[](void* p, std::size_t) noexcept { corvane::testing::untrack(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { corvane::testing::untrack(p); }
