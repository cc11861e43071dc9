// The generator step shared by the keystream, the permutation draws and the
// key schedule's table pass. Internal to the cipher engine.
//
// The block loops keep the indices in locals and call this on them, writing
// the record back once per block; the swap passes through swap_word so the
// record ends up exactly as the step-by-step definition leaves it.
#pragma once

#include <cstdint>

namespace corvane::cipher_detail {

// The two swapped entries stay in registers rather than being read back after
// the swap: when i equals j they are one entry holding one value, so the stores
// and the output index still come out as the definition has them.
[[nodiscard]] inline std::uint32_t generator_step(std::uint32_t* table, std::uint32_t mask, std::uint32_t& i,
                                                  std::uint32_t& j, std::uint32_t& swap_word) {
    i = (i + 1) & mask;
    const std::uint32_t ti = table[i];
    j = (j + ti) & mask;
    const std::uint32_t tj = table[j];
    table[i] = tj;
    table[j] = ti;
    swap_word = ti;
    // Every entry is an index below mask + 1, so the sum needs only the mask.
    return table[(ti + tj) & mask];
}

// Eight keystream bytes, the first in the low byte, as eight steps leave them.
[[nodiscard]] inline std::uint64_t keystream_8(std::uint32_t* table, std::uint32_t mask, std::uint32_t& i,
                                               std::uint32_t& j, std::uint32_t& swap_word) {
    std::uint64_t ks = generator_step(table, mask, i, j, swap_word) & 0xFFu;
    ks |= static_cast<std::uint64_t>(generator_step(table, mask, i, j, swap_word) & 0xFFu) << 8;
    ks |= static_cast<std::uint64_t>(generator_step(table, mask, i, j, swap_word) & 0xFFu) << 16;
    ks |= static_cast<std::uint64_t>(generator_step(table, mask, i, j, swap_word) & 0xFFu) << 24;
    ks |= static_cast<std::uint64_t>(generator_step(table, mask, i, j, swap_word) & 0xFFu) << 32;
    ks |= static_cast<std::uint64_t>(generator_step(table, mask, i, j, swap_word) & 0xFFu) << 40;
    ks |= static_cast<std::uint64_t>(generator_step(table, mask, i, j, swap_word) & 0xFFu) << 48;
    ks |= static_cast<std::uint64_t>(generator_step(table, mask, i, j, swap_word) & 0xFFu) << 56;
    return ks;
}

// The sum of the eight bytes of w.
[[nodiscard]] inline std::uint32_t byte_sum_8(std::uint64_t w) {
    const std::uint64_t pairs = (w & 0x00FF00FF00FF00FFull) + ((w >> 8) & 0x00FF00FF00FF00FFull);
    return static_cast<std::uint32_t>((pairs * 0x0001000100010001ull) >> 48);
}

}  // namespace corvane::cipher_detail
