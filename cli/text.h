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

// Our own texts for the terminal: an unpaired surrogate becomes U+FFFD.
[[nodiscard]] std::string to_display_utf8(std::u16string_view in);

// Text that comes from a file or the command line, for the terminal: every
// control character (U+0000-U+001F, U+007F-U+009F) and every bidirectional
// override or isolate (U+202A-U+202E, U+2066-U+2069) is shown escaped, as
// \x1b or \u202e, and so is an unpaired surrogate (\udc80), so that no
// crafted name or hint can move the cursor, clear the screen or reorder
// what follows it. Everything else, non-ASCII text included, stays as it is.
[[nodiscard]] std::string printable_utf8(std::u16string_view in);

}  // namespace corvane::cli
