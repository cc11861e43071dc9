// The fixed password and key file every fuzz target and seed container uses,
// so that the seeds decrypt inside the read_stream target.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane::fuzz {

using Bytes = std::vector<std::uint8_t>;

inline constexpr const char16_t* SEED_PASSWORD = u"secret";

// 1000 bytes: longer than the small seed blocks are not, so both the looping
// and the cyclic fill of the key pad are reached.
inline Bytes seed_keyfile() {
    Bytes key(1000);
    std::uint32_t x = 0x2545F491u;
    for (auto& b : key) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 7);
    }
    return key;
}

}  // namespace corvane::fuzz
