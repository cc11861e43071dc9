// Names that Windows takes for devices rather than files, whatever folder
// they stand in: opening one reaches the console, a printer or a port, and a
// \\.\ path reaches any device or pipe. Portable, so the rule is tested on
// every system; only the Windows layer acts on it.
#pragma once

#include <cstddef>

namespace corvane::platform {

namespace device_detail {

[[nodiscard]] constexpr char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

[[nodiscard]] constexpr bool is_slash(char16_t c) { return c == u'\\' || c == u'/'; }

// True when the n units at name spell word, letters in any case.
[[nodiscard]] constexpr bool spells(const char16_t* name, std::size_t n, const char16_t* word) {
    std::size_t i = 0;
    for (; i < n && word[i] != 0; ++i)
        if (upper(name[i]) != word[i]) return false;
    return i == n && word[i] == 0;
}

}  // namespace device_detail

// True for a path in the device namespace (\\.\X, \\?\ other than a drive
// or UNC path) or whose last name is a reserved device name: CON, PRN, AUX,
// NUL, COM0-9, LPT0-9 (also with the superscript digits), CONIN$, CONOUT$,
// with or without an extension, a stream or trailing spaces.
[[nodiscard]] constexpr bool is_device_path(const char16_t* path) {
    using namespace device_detail;
    if (path == nullptr || path[0] == 0) return false;
    if (is_slash(path[0]) && is_slash(path[1]) && (path[2] == u'.' || path[2] == u'?') && is_slash(path[3])) {
        if (path[2] == u'.') return true;
        const char16_t* rest = path + 4;
        const bool drive = ((upper(rest[0]) >= u'A' && upper(rest[0]) <= u'Z') && rest[1] == u':' &&
                            (rest[2] == 0 || is_slash(rest[2])));
        const bool unc = spells(rest, 3, u"UNC") && is_slash(rest[3]);
        if (!drive && !unc) return true;
    }
    // The last name, after a drive's colon too, up to its first dot or colon
    // (an extension or a stream), without trailing spaces.
    std::size_t start = 0;
    for (std::size_t i = 0; path[i] != 0; ++i)
        if (is_slash(path[i])) start = i + 1;
    if (start == 0 && path[0] != 0 && path[1] == u':') start = 2;
    std::size_t stop = start;
    while (path[stop] != 0 && path[stop] != u'.' && path[stop] != u':') ++stop;
    while (stop > start && path[stop - 1] == u' ') --stop;
    const char16_t* name = path + start;
    const std::size_t n = stop - start;
    if (n == 3)
        return spells(name, 3, u"CON") || spells(name, 3, u"PRN") || spells(name, 3, u"AUX") ||
               spells(name, 3, u"NUL");
    if (n == 4 && (spells(name, 3, u"COM") || spells(name, 3, u"LPT"))) {
        const char16_t d = name[3];
        return (d >= u'0' && d <= u'9') || d == u'\u00B9' || d == u'\u00B2' || d == u'\u00B3';
    }
    if (n == 6) return spells(name, 6, u"CONIN$");
    if (n == 7) return spells(name, 7, u"CONOUT$");
    return false;
}

}  // namespace corvane::platform
