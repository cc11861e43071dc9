#include "ui/format.h"

#include "platform/platform.h"

namespace corvane::ui {

namespace {

constexpr std::size_t LAST_UNIT = FORMAT_UNITS - 1;  // room for text; the NUL takes the rest
constexpr double SECONDS_PER_YEAR = 31536000.0;

// Appends text to the NUL-terminated buffer while it stays within 63 units.
std::size_t append(char16_t* buffer, std::size_t used, const char16_t* text) {
    while (used < LAST_UNIT && *text != 0) buffer[used++] = *text++;
    buffer[used] = 0;
    return used;
}

// Copies format up to its first "%"; returns the units written and leaves
// *rest at the "%" (or the end).
std::size_t copy_prefix(char16_t* buffer, const char16_t* format, const char16_t** rest) {
    std::size_t used = 0;
    while (used < LAST_UNIT && *format != 0 && *format != u'%') buffer[used++] = *format++;
    buffer[used] = 0;
    *rest = format;
    return used;
}

std::size_t append_digits(char16_t* buffer, std::size_t used, std::uint32_t value, std::uint32_t base,
                          std::size_t min_digits) {
    char16_t digits[33];
    std::size_t n = 0;
    do {
        const std::uint32_t d = value % base;
        digits[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : u'a' + (d - 10));
        value /= base;
    } while (value != 0);
    while (n < min_digits && n < sizeof digits / sizeof digits[0]) digits[n++] = u'0';
    while (n > 0 && used < LAST_UNIT) buffer[used++] = digits[--n];
    buffer[used] = 0;
    return used;
}

// Appends one number through format (with "%u"/"%x" or "%.Nf") at used.
std::size_t append_uint(char16_t* buffer, std::size_t used, const char16_t* format, std::uint32_t value) {
    char16_t piece[FORMAT_UNITS];
    format_uint(piece, format, value);
    return append(buffer, used, piece);
}

std::size_t append_unit(char16_t* buffer, std::size_t used, const char16_t* format, std::uint32_t count) {
    used = append_uint(buffer, used, format, count);
    return count > 1 ? append(buffer, used, u"s") : used;
}

char16_t* write_real(char16_t* buffer, const char16_t* format, double value) {
    format_real(buffer, format, value);
    return buffer;
}

}  // namespace

std::size_t format_uint(char16_t* buffer, const char16_t* format, std::uint32_t value) {
    const char16_t* rest = nullptr;
    std::size_t used = copy_prefix(buffer, format, &rest);
    if (*rest != u'%' || rest[1] == 0) return used;
    used = append_digits(buffer, used, value, rest[1] == u'x' ? 16u : 10u, 1);
    return append(buffer, used, rest + 2);
}

std::size_t format_real(char16_t* buffer, const char16_t* format, double value) {
    const char16_t* rest = nullptr;
    std::size_t used = copy_prefix(buffer, format, &rest);
    if (*rest != u'%' || rest[1] != u'.' || rest[2] < u'0' || rest[2] > u'9' || rest[3] != u'f') return used;
    const unsigned decimals = static_cast<unsigned>(rest[2]) & 7u;

    double scale = 1;
    for (unsigned k = 0; k < decimals; ++k) scale *= 10;
    // Callers pass values in [0, 2^32); anything else is clamped rather than
    // left to an undefined conversion.
    double shifted = value + 0.5 / scale;
    if (!(shifted >= 0)) shifted = 0;
    if (shifted >= 4294967296.0) shifted = 4294967295.0;
    const auto whole = static_cast<std::uint32_t>(shifted);
    double fraction = (shifted - whole) * scale;
    if (!(fraction >= 0)) fraction = 0;
    if (fraction >= scale) fraction = scale - 1;

    used = append_digits(buffer, used, whole, 10, 1);
    if (decimals > 0) {
        used = append(buffer, used, u".");
        used = append_digits(buffer, used, static_cast<std::uint32_t>(fraction), 10, decimals);
    }
    return append(buffer, used, rest + 4);
}

// Every unit comes from the fraction of a year, truncated step by step, so a
// value on a unit boundary can show one unit short (60 s: "60.0 seconds").
char16_t* format_duration(char16_t* buffer, double seconds) {
    const double x = seconds > 0 ? seconds : 0;  // also catches NaN
    const double v = x / SECONDS_PER_YEAR;
    buffer[0] = 0;
    if (v >= 1e9) {
        append(buffer, 0, u"too long");
        return buffer;
    }
    if (v >= 1e6) {
        format_uint(buffer, u"%u million years", static_cast<std::uint32_t>(v / 1e6));
        return buffer;
    }

    const auto years = static_cast<std::uint32_t>(v);
    double r = (v - years) * 365;
    const auto days = static_cast<std::uint32_t>(r);
    r = (r - days) * 24;
    const auto hours = static_cast<std::uint32_t>(r);
    r = (r - hours) * 60;
    const auto minutes = static_cast<std::uint32_t>(r);
    r = (r - minutes) * 60;
    const auto secs = static_cast<std::uint32_t>(r);

    std::size_t used = 0;
    if (v >= 100) {
        if (years < 10000)
            format_uint(buffer, u"%u years", years);
        else
            format_uint(buffer, u"%u thousand years", static_cast<std::uint32_t>(v / 1000));
    } else if (v >= 1) {
        used = append_unit(buffer, used, u"%u year", years);
        if (days != 0) append_unit(buffer, used, u", %u day", days);
    } else if (days != 0) {
        used = append_unit(buffer, used, u"%u day", days);
        if (hours != 0)
            append_unit(buffer, used, u", %u hour", hours);
        else if (minutes != 0)
            append_unit(buffer, used, u", %u minute", minutes);
    } else if (hours != 0) {
        used = append_unit(buffer, used, u"%u hour", hours);
        if (minutes != 0)
            append_unit(buffer, used, u", %u minute", minutes);
        else if (secs != 0)
            append_unit(buffer, used, u", %u second", secs);
    } else if (minutes != 0) {
        used = append_unit(buffer, used, u"%u minute", minutes);
        if (secs != 0) append_unit(buffer, used, u", %u second", secs);
    } else if (x < static_cast<double>(0.1f)) {
        append(buffer, 0, u"0 seconds");
    } else {
        format_real(buffer, u"%.1f seconds", r);
    }
    return buffer;
}

char16_t* format_size(char16_t* buffer, std::uint64_t size) {
    const auto lo = static_cast<std::uint32_t>(size);
    const auto hi = static_cast<std::uint32_t>(size >> 32);
    if (hi != 0) {
        if (hi >= 0x40000u) return write_real(buffer, u"%.2f PB", hi / 262144.0);
        if (hi >= 256u) return write_real(buffer, u"%.2f TB", hi / 256.0);
        return write_real(buffer, u"%.2f GB", lo / 1073741824.0 + hi * 4.0);
    }
    if (lo >= 1073741824u) return write_real(buffer, u"%.2f GB", lo / 1073741824.0);
    if (lo >= 1048576u) return write_real(buffer, u"%.1f MB", lo / 1048576.0);
    if (lo >= 1024u) return write_real(buffer, u"%.0f KB", lo / 1024.0);
    format_uint(buffer, u"%u bytes", lo);
    return buffer;
}

char16_t* format_speed(char16_t* buffer, double s) {
    if (s > 1024) {
        const double g = s / 1024;
        if (g > 134217728.0) {
            append(buffer, 0, u"really fast");
            return buffer;
        }
        if (g > 1024) return write_real(buffer, u"%.1f TB/s", g / 1024);
        return write_real(buffer, u"%.1f GB/s", g);
    }
    if (s > 1) return write_real(buffer, u"%.1f MB/s", s);
    if (s * 1024 > 1) return write_real(buffer, u"%.1f KB/s", s * 1024);
    return write_real(buffer, u"%.0f bytes/s", s * 1048576);
}

char16_t* format_date_time(char16_t* buffer, std::uint64_t filetime) {
    buffer[0] = 0;
    platform::local_date_time_text(filetime, buffer);
    return buffer;
}

char16_t* format_scheme(char16_t* buffer, std::uint32_t jumble_rounds, std::uint32_t block_size,
                        std::uint32_t flags) {
    buffer[0] = 0;
    std::size_t used = append(buffer, 0, u"QVK ");
    if (block_size == 0) {
        append(buffer, used, u"Empty");
        return buffer;
    }
    if (block_size == 1 || jumble_rounds == 0) {
        append(buffer, used, u"Stream");
        return buffer;
    }
    used = append_uint(buffer, used, u"%uX Jumble", jumble_rounds);
    if ((flags & SCHEME_WITH_BLOCK) == 0) return buffer;

    used = append(buffer, used, u", ");
    const std::uint64_t block = block_size;
    if (block >= 1048576)
        used = append_uint(buffer, used, u"%u MB", static_cast<std::uint32_t>((block + 524288) / 1048576));
    else if (block >= 1024)
        used = append_uint(buffer, used, u"%u KB", static_cast<std::uint32_t>((block + 512) / 1024));
    else
        used = append_uint(buffer, used, u"%u Byte", block_size);
    append(buffer, used, u" Block");
    return buffer;
}

char16_t* format_block_range(char16_t* buffer, std::uint32_t block_size) {
    const std::uint64_t half = block_size / 2;
    const std::uint64_t upper = block_size + half;
    buffer[0] = 0;
    std::size_t used = 0;
    if (half >= 1048576) {
        used = append_uint(buffer, used, u"%u", static_cast<std::uint32_t>(half / 1048576));
        used = append(buffer, used, u" to ");
        append_uint(buffer, used, u"%u MB", static_cast<std::uint32_t>(upper / 1048576));
    } else {
        used = append_uint(buffer, used, u"%u", static_cast<std::uint32_t>(half / 1024));
        used = append(buffer, used, u" to ");
        append_uint(buffer, used, u"%u KB", static_cast<std::uint32_t>(upper / 1024));
    }
    return buffer;
}

int progress_position(double fraction) {
    const double position = fraction * 100.0 + 0.1;
    if (!(position > 0.0)) return 0;
    if (position >= 100.0) return 100;
    return static_cast<int>(position);
}

}  // namespace corvane::ui
