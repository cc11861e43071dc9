// Splitting paths into folder, name, stem and extension.
#pragma once

#include <cstddef>

namespace corvane {

// Paths are used up to PATH_LIMIT units (the classic Windows limit); the
// fields that hold them have room for PATH_FIELD_UNITS.
inline constexpr std::size_t PATH_LIMIT = 259;
inline constexpr std::size_t PATH_UNITS = PATH_LIMIT + 1;
inline constexpr std::size_t PATH_FIELD_UNITS = 512;

// Both systems' separators count on both systems.
[[nodiscard]] constexpr bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

struct PathParts {
    char16_t full[PATH_UNITS];
    char16_t directory[PATH_UNITS];
    char16_t stem[PATH_UNITS];
    std::size_t name;       // index into full
    std::size_t dot;        // index into full; end of full when none
    std::size_t extension;  // index into full; end of full when none
};

// Fills parts (zeroed first) from path; returns parts.
PathParts& split_path(PathParts& parts, const char16_t* path);

// The name's last ".": the last "." of the path when it lies after every
// separator, else the path's end.
[[nodiscard]] const char16_t* extension_dot(const char16_t* path);

// The text after extension_dot, or the empty text at the path's end.
[[nodiscard]] const char16_t* extension_of(const char16_t* path);

// Where the name starts: the index after the last separator, 0 without one.
[[nodiscard]] std::size_t name_start(const char16_t* path);

}  // namespace corvane
