// The choices and rules of the Enter Password and Select Password dialogs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/cipher/key_schedule.h"
#include "engine/container/container_header.h"

// The fields take at most PASSWORD_UNITS (password, confirmation) and
// HINT_UNITS (hint) units.

namespace corvane::ui {

inline constexpr char16_t PASSWORD_CHAR = u'\u25CF';
inline constexpr std::size_t WIPE_LIMIT = 4096;

// The entries of the encryption list, in order; the item data is the value.
[[nodiscard]] std::span<const std::uint32_t> jumble_choices();
// The entries of the block-size list, in order, in bytes.
[[nodiscard]] std::span<const std::uint32_t> block_size_choices();
// The block size the encryption list formats its texts with.
inline constexpr std::uint32_t JUMBLE_LIST_BLOCK_SIZE = 262144;

// Password and confirmation agree unit by unit up to their common end.
[[nodiscard]] bool passwords_match(const char16_t* password, const char16_t* confirm);

// The character the password fields hide behind: none while "Show" is ticked.
[[nodiscard]] char16_t password_char(bool show_ticked);

// Units of the overwrite buffer for a field of length units, NUL included;
// 0 when there is nothing to overwrite.
[[nodiscard]] std::size_t wipe_buffer_units(std::size_t length);

// Copies at most limit units of text and a NUL into out.
void copy_limited(char16_t* out, const char16_t* text, std::size_t limit);

}  // namespace corvane::ui
