// The texts of the reasons the layer and the jobs give themselves, the same
// on every system.
#pragma once

#include "platform/platform.h"

namespace corvane::platform {

// The text for one of the own codes of platform.h; null for a system's code.
[[nodiscard]] constexpr const char16_t* own_error_text(ErrorCode code) {
    switch (code) {
    case ERROR_NOT_REGULAR_FILE: return u"Not a regular file";
    case ERROR_TARGET_EXISTS: return u"It already exists";
    case ERROR_READ_ONLY_TARGET: return u"It is read-only";
    default: return nullptr;
    }
}

// Copies an own text into out (capacity units, NUL included); false for a
// system's code, leaving out as it is.
[[nodiscard]] constexpr bool copy_own_error_text(ErrorCode code, char16_t* out, std::size_t capacity) {
    const char16_t* text = own_error_text(code);
    if (text == nullptr) return false;
    std::size_t n = 0;
    for (; text[n] != 0 && n + 1 < capacity; ++n) out[n] = text[n];
    if (capacity > 0) out[n] = 0;
    return true;
}

}  // namespace corvane::platform
