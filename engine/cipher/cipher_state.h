// The keyed tables and indices of one job: the keystream generator over
// key_table and the permutation-draw generator over perm_table.
#pragma once

#include <cstdint>

namespace corvane {

inline constexpr std::uint32_t TABLE_WORDS = 1024;

struct CipherState {
    std::uint32_t mask = 0;  // 255 for schedule versions below 3, else 1023
    std::uint32_t stir_j = 0;
    std::uint32_t* swap_slot = nullptr;  // scratch: second entry of a computed swap
    std::uint32_t swap_word = 0;         // scratch: every table swap passes through it
    std::uint32_t ks_i = 0;
    std::uint32_t ks_j = 0;
    std::uint32_t key_table[TABLE_WORDS] = {};
    std::uint32_t perm_i = 0;
    std::uint32_t perm_j = 0;
    std::uint32_t perm_table[TABLE_WORDS] = {};
};

}  // namespace corvane
