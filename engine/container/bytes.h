// Little-endian loads and stores, and the rotating checksum of the format.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

[[nodiscard]] inline std::uint16_t load16_le(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
[[nodiscard]] inline std::uint32_t load32_le(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
[[nodiscard]] inline std::uint64_t load64_le(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(load32_le(p)) | (static_cast<std::uint64_t>(load32_le(p + 4)) << 32);
}
inline void store16_le(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void store32_le(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void store64_le(std::uint8_t* p, std::uint64_t v) {
    store32_le(p, static_cast<std::uint32_t>(v));
    store32_le(p + 4, static_cast<std::uint32_t>(v >> 32));
}

[[nodiscard]] constexpr std::uint32_t rol32(std::uint32_t x, unsigned r) {
    r &= 31u;
    return r == 0 ? x : (x << r) | (x >> (32u - r));
}
[[nodiscard]] constexpr std::uint32_t ror32(std::uint32_t x, unsigned r) {
    r &= 31u;
    return r == 0 ? x : (x >> r) | (x << (32u - r));
}

// RotSum: s = rol32(s + b, 1) for each byte, continuing from start.
[[nodiscard]] inline std::uint32_t rot_sum(const std::uint8_t* data, std::size_t size, std::uint32_t start = 0) {
    std::uint32_t s = start;
    for (std::size_t i = 0; i < size; ++i) s = rol32(s + data[i], 1);
    return s;
}

}  // namespace corvane
