#include "cli/text.h"

#include <cstdint>

namespace corvane::cli {

Utf8Result utf8_to_utf16(std::string_view in, char16_t* out, std::size_t capacity, std::size_t* length) {
    std::size_t n = 0;
    auto put = [&](char16_t unit) {
        if (n + 1 >= capacity) return false;
        out[n++] = unit;
        return true;
    };
    Utf8Result result = Utf8Result::ok;
    for (std::size_t i = 0; i < in.size() && result == Utf8Result::ok;) {
        const auto lead = static_cast<std::uint8_t>(in[i]);
        std::uint32_t cp = 0;
        std::size_t extra = 0;
        std::uint32_t min = 0;
        if (lead == 0) {
            result = Utf8Result::invalid;
            break;
        } else if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1Fu, extra = 1, min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0Fu, extra = 2, min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07u, extra = 3, min = 0x10000;
        } else {
            result = Utf8Result::invalid;
            break;
        }
        if (in.size() - i - 1 < extra) {
            result = Utf8Result::invalid;
            break;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cont = static_cast<std::uint8_t>(in[i + k]);
            if ((cont & 0xC0) != 0x80) {
                result = Utf8Result::invalid;
                break;
            }
            cp = (cp << 6) | (cont & 0x3Fu);
        }
        if (result != Utf8Result::ok) break;
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            result = Utf8Result::invalid;
            break;
        }
        i += extra + 1;
        if (cp < 0x10000) {
            if (!put(static_cast<char16_t>(cp))) result = Utf8Result::too_long;
        } else {
            cp -= 0x10000;
            if (n + 2 >= capacity) {
                result = Utf8Result::too_long;
            } else {
                put(static_cast<char16_t>(0xD800 + (cp >> 10)));
                put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
            }
        }
    }
    if (capacity > 0) out[n < capacity ? n : capacity - 1] = 0;
    if (length) *length = n;
    return result;
}

bool utf8_to_utf16(std::string_view in, std::u16string& out) {
    // A UTF-8 text never has more UTF-16 units than bytes.
    std::u16string buffer(in.size() + 1, u'\0');
    std::size_t length = 0;
    if (utf8_to_utf16(in, buffer.data(), buffer.size(), &length) != Utf8Result::ok) return false;
    buffer.resize(length);
    out = std::move(buffer);
    return true;
}

namespace {

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool is_surrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// Decodes the code point at in[i], advancing i past it; lone is set for an
// unpaired surrogate, which is returned as it is.
std::uint32_t next_code_point(std::u16string_view in, std::size_t& i, bool& lone) {
    const std::uint32_t unit = in[i++];
    lone = false;
    if (unit >= 0xD800 && unit <= 0xDBFF && i < in.size() && in[i] >= 0xDC00 && in[i] <= 0xDFFF)
        return 0x10000 + ((unit - 0xD800) << 10) + (static_cast<std::uint32_t>(in[i++]) - 0xDC00);
    lone = is_surrogate(unit);
    return unit;
}

bool needs_escape(std::uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

void append_escape(std::string& out, std::uint32_t cp) {
    static constexpr char HEX[] = "0123456789abcdef";
    if (cp < 0x100) {
        out += "\\x";
        out += HEX[cp >> 4];
        out += HEX[cp & 0xF];
        return;
    }
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += HEX[(cp >> shift) & 0xF];
}

}  // namespace

std::string to_display_utf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        bool lone = false;
        const std::uint32_t cp = next_code_point(in, i, lone);
        append_utf8(out, lone ? 0xFFFD : cp);
    }
    return out;
}

std::string printable_utf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        bool lone = false;
        const std::uint32_t cp = next_code_point(in, i, lone);
        if (lone || needs_escape(cp))
            append_escape(out, cp);
        else
            append_utf8(out, cp);
    }
    return out;
}

}  // namespace corvane::cli
