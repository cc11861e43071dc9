#include "jobs/paths.h"

namespace corvane {

PathParts& split_path(PathParts& parts, const char16_t* path) {
    parts = PathParts{};
    std::size_t length = 0;
    if (path != nullptr)
        while (length < PATH_LIMIT && path[length] != 0) {
            parts.full[length] = path[length];
            ++length;
        }

    const std::size_t name = name_start(parts.full);
    for (std::size_t i = 0; i < name; ++i) parts.directory[i] = parts.full[i];
    parts.name = name;

    const auto dot = static_cast<std::size_t>(extension_dot(parts.full) - parts.full);
    for (std::size_t i = name; i < dot; ++i) parts.stem[i - name] = parts.full[i];
    parts.dot = dot;
    parts.extension = dot < length ? dot + 1 : length;
    return parts;
}

const char16_t* extension_dot(const char16_t* path) {
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
    return dot != nullptr ? dot : p;
}

const char16_t* extension_of(const char16_t* path) {
    const char16_t* dot = extension_dot(path);
    return *dot == u'.' ? dot + 1 : dot;
}

std::size_t name_start(const char16_t* path) {
    std::size_t start = 0;
    if (path != nullptr)
        for (std::size_t i = 0; path[i] != 0; ++i)
            if (is_separator(path[i])) start = i + 1;
    return start;
}

}  // namespace corvane
