// The generator step shared by the keystream, the permutation draws and the
// key schedule's table pass. Internal to the cipher engine.
//
// The block loops keep the indices in locals and call this on them, writing
// the record back once per block; the swap passes through swap_word so the
// record ends up exactly as the step-by-step definition leaves it.
#pragma once

#include <cstdint>

namespace corvane::cipher_detail {

[[nodiscard]] inline std::uint32_t generator_step(std::uint32_t* table, std::uint32_t mask, std::uint32_t& i,
                                                  std::uint32_t& j, std::uint32_t& swap_word) {
    i = (i + 1) & mask;
    j = (j + table[i]) & mask;
    swap_word = table[i];
    table[i] = table[j];
    table[j] = swap_word;
    // Every entry is an index below mask + 1, so the sum needs only the mask.
    return table[(table[i] + table[j]) & mask];
}

}  // namespace corvane::cipher_detail
