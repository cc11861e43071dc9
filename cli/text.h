// Strict conversions between the terminal's UTF-8 and the UTF-16 used inside.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane::cli {

enum class Utf8Result { ok, invalid, too_long };

// Decodes UTF-8 into out (capacity units, NUL included), refusing overlong
// forms, encoded surrogates, values above U+10FFFF, cut sequences and NUL
// bytes (which could not survive as a NUL-terminated text). *length receives
// the units written, NUL excluded.
[[nodiscard]] Utf8Result utf8_to_utf16(std::string_view in, char16_t* out, std::size_t capacity,
                                       std::size_t* length);

// Convenience form for arguments; false when in is not valid UTF-8.
[[nodiscard]] bool utf8_to_utf16(std::string_view in, std::u16string& out);

// For display only: an unpaired surrogate becomes U+FFFD.
[[nodiscard]] std::string to_display_utf8(std::u16string_view in);

}  // namespace corvane::cli
