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

std::string to_display_utf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        std::uint32_t cp = in[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<std::uint32_t>(in[i + 1]) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
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
    return out;
}

}  // namespace corvane::cli
