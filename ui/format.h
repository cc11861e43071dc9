// The display texts of figures: durations, sizes, speeds, dates, scheme names
// and block-size ranges. Fixed English, sizes in powers of two; only dates
// follow the user's locale. Every operation writes into the caller's buffer
// and returns it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::ui {

inline constexpr std::size_t FORMAT_UNITS = 64;      // every buffer but the date's
inline constexpr std::size_t DATE_TIME_UNITS = 128;  // format_date_time's buffer

// format_scheme's flags: bit 0 appends the block size.
inline constexpr std::uint32_t SCHEME_WITH_BLOCK = 1;

// One "%u" (decimal) or "%x" (lower-case hexadecimal) in format. Returns the
// units written, NUL excluded; never more than 63.
std::size_t format_uint(char16_t* buffer, const char16_t* format, std::uint32_t value);

// One "%.Nf" in format (N a digit, taken AND 7). Rounds half up by adding
// 0.5 / 10^N and truncating. Returns the units written, never more than 63.
std::size_t format_real(char16_t* buffer, const char16_t* format, double value);

char16_t* format_duration(char16_t* buffer, double seconds);
char16_t* format_size(char16_t* buffer, std::uint64_t size);
char16_t* format_speed(char16_t* buffer, double mib_per_second);
// buffer holds DATE_TIME_UNITS; empty when the time cannot be converted.
char16_t* format_date_time(char16_t* buffer, std::uint64_t filetime);
char16_t* format_scheme(char16_t* buffer, std::uint32_t jumble_rounds, std::uint32_t block_size, std::uint32_t flags);
char16_t* format_block_range(char16_t* buffer, std::uint32_t block_size);

// The percentage a progress bar shows (0 to 100) for a done fraction; 0.999
// gives 100.
[[nodiscard]] int progress_position(double fraction);

}  // namespace corvane::ui
