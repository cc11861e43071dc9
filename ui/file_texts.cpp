#include "ui/file_texts.h"

#include "jobs/paths.h"

namespace corvane::ui {

namespace {

char16_t lower_ascii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool equals_ignoring_case(const char16_t* a, const char16_t* b) {
    for (; *a != 0 && *b != 0; ++a, ++b)
        if (lower_ascii(*a) != lower_ascii(*b)) return false;
    return *a == *b;
}

// Upper case for the letters an extension realistically holds: ASCII,
// Latin-1, basic Greek and Cyrillic. Everything else stays as it is, so the
// text is the same on every system whatever its locale.
char16_t to_upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
    if (c == 0xFF) return 0x178;
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 32);
    if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
    if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
    return c;
}

char16_t* copy_text(char16_t* out, const char16_t* text) {
    std::size_t i = 0;
    for (; text[i] != 0; ++i) out[i] = text[i];
    out[i] = 0;
    return out;
}

}  // namespace

bool is_container_extension(const char16_t* extension) {
    return extension != nullptr && (equals_ignoring_case(extension, u"qvk") || equals_ignoring_case(extension, u"ptxt"));
}

char16_t* sanitise_stored_name(char16_t* text) {
    for (char16_t* p = text; *p != 0; ++p) {
        const char16_t c = *p;
        if (c < 0x20 || c == u'"' || c == u'*' || c == u'/' || c == u'\\' || c == u'|') {
            *p = u'_';
        } else if (c == u':') {
            *p = u'-';
        } else if (c == u'<') {
            *p = u'(';
        } else if (c == u'>') {
            *p = u')';
        } else if (c == u'?' || c == 0x7F) {
            *p = 0;
            break;
        }
    }
    return text;
}

char16_t* default_encrypt_output(const char16_t* source_path, char16_t* out) {
    PathParts parts;
    split_path(parts, source_path);
    std::size_t n = 0;
    if (parts.full[parts.dot] == u'.') {
        for (; n < parts.dot; ++n) out[n] = parts.full[n];
        for (const char16_t c : u".qvk") out[n++] = c;  // with its NUL
        return out;
    }
    return copy_text(out, parts.full);
}

char16_t* default_decrypt_output(const ContainerHeader& header, char16_t* out) {
    header_file_name(header, out);
    sanitise_stored_name(out);
    char16_t* extension = out + (extension_of(out) - out);
    std::size_t n = 0;
    while (n < EXTENSION_LIMIT && extension[n] != 0) ++n;
    extension[n] = 0;
    return out;
}

char16_t* describe_file_type(const char16_t* path, char16_t* out, FileTypeLookup lookup) {
    if (path == nullptr || path[0] == 0) return copy_text(out, u"Unknown");
    std::size_t last = 0;
    while (path[last + 1] != 0) ++last;
    if (is_separator(path[last])) return copy_text(out, u"Directory");

    const char16_t* dot = extension_dot(path);
    if (*dot != u'.' || dot == path + last) return copy_text(out, u"File");

    if (lookup != nullptr && lookup(dot, out) && out[0] != 0) return out;

    std::size_t n = 0;
    for (const char16_t* p = dot + 1; *p != 0 && n < EXTENSION_LIMIT; ++p) out[n++] = to_upper(*p);
    for (const char16_t c : u" File") out[n++] = c;
    return out;
}

}  // namespace corvane::ui
