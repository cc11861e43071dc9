#include "jobs/paths.h"

namespace corvane {
namespace {

bool is_separator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace

PathParts& split_path(PathParts& parts, const char16_t* path) {
    parts = PathParts{};
    std::size_t length = 0;
    if (path != nullptr)
        while (length < PATH_UNITS - 1 && path[length] != 0) {
            parts.full[length] = path[length];
            ++length;
        }

    std::size_t name = 0;
    for (std::size_t i = 0; i < length; ++i)
        if (is_separator(parts.full[i])) name = i + 1;
    for (std::size_t i = 0; i < name; ++i) parts.directory[i] = parts.full[i];
    parts.name = name;

    std::size_t dot = length;
    for (std::size_t i = name; i < length; ++i) {
        if (parts.full[i] == u'.') dot = i;
    }
    for (std::size_t i = name; i < dot; ++i) parts.stem[i - name] = parts.full[i];
    parts.dot = dot;
    parts.extension = dot < length ? dot + 1 : length;
    return parts;
}

const char16_t* extension_of(const char16_t* path) {
    static constexpr char16_t empty[] = u"";
    if (path == nullptr) return empty;
    const char16_t* dot = nullptr;
    const char16_t* p = path;
    for (; *p != 0; ++p) {
        if (*p == u'.')
            dot = p;
        else if (is_separator(*p))
            dot = nullptr;
    }
    return dot != nullptr ? dot + 1 : p;
}

}  // namespace corvane
