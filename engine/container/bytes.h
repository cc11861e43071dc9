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

namespace rot_sum_detail {

// RotSum over the eight bytes of w (the first in the low byte), from s.
//
// Step by step, s = rol32(s + b, 1). Read modulo 2^32 - 1, a rotation by one
// is a doubling, and as long as s + b does not carry out of bit 31 each step
// equals rol32(s, 1) +' 2b, where +' is the end-around-carry addition. That
// addition is associative, rotation distributes over it, and it yields 0 only
// from two zeros, so eight steps without a carry give exactly
//     rol32(s, 8) +' sum over u of b[u] * 2^(8 - u)        (below 2^17).
// A carry needs s + b >= 2^32. Within the eight steps the state is
// rol32(s, u) plus less than 2^16, which reaches 2^32 - 255 only when bits
// 17 to 24 of s are all set; that case (one start in 256) takes the plain steps.
[[nodiscard]] constexpr std::uint32_t step8(std::uint32_t s, std::uint64_t w) {
    if (((s >> 17) & 0xFFu) == 0xFFu) {
        for (unsigned u = 0; u < 8; ++u) s = rol32(s + static_cast<std::uint8_t>(w >> (8 * u)), 1);
        return s;
    }
    // Horner's rule in base 2 on lanes: 2b0 + b1 per 16 bits, then 4x + y per
    // 32 bits, then 16x + y gives the sum of b[u] * 2^(7 - u).
    std::uint64_t t = ((w & 0x00FF00FF00FF00FFull) << 1) + ((w >> 8) & 0x00FF00FF00FF00FFull);
    t = ((t & 0x0000FFFF0000FFFFull) << 2) + ((t >> 16) & 0x0000FFFF0000FFFFull);
    const std::uint64_t weighted = (((t & 0xFFFFFFFFull) << 4) + (t >> 32)) << 1;
    const std::uint64_t sum = static_cast<std::uint64_t>(rol32(s, 8)) + weighted;
    return static_cast<std::uint32_t>(sum) + static_cast<std::uint32_t>(sum >> 32);
}

}  // namespace rot_sum_detail

// RotSum: s = rol32(s + b, 1) for each byte, continuing from start; eight
// bytes at a time through rot_sum_detail::step8.
[[nodiscard]] inline std::uint32_t rot_sum(const std::uint8_t* data, std::size_t size, std::uint32_t start = 0) {
    std::uint32_t s = start;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) s = rot_sum_detail::step8(s, load64_le(data + i));
    for (; i < size; ++i) s = rol32(s + data[i], 1);
    return s;
}

}  // namespace corvane
