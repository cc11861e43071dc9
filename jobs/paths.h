// Splitting paths into folder, name, stem and extension.
#pragma once

#include <cstddef>

namespace corvane {

inline constexpr std::size_t PATH_UNITS = 260;   // 259 used, then NUL
inline constexpr std::size_t PATH_FIELD_UNITS = 512;

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

// The text after the last "." of the path when it lies after every
// separator, else the empty text at the path's end.
[[nodiscard]] const char16_t* extension_of(const char16_t* path);

}  // namespace corvane
