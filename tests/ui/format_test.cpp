#include "ui/format.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::ui {
namespace {

std::string narrow(const char16_t* text) {
    std::string out;
    for (; *text != 0; ++text) out += static_cast<char>(*text);
    return out;
}

template <typename F>
std::string text_of(F&& format) {
    char16_t buffer[FORMAT_UNITS];
    for (char16_t& c : buffer) c = u'#';
    const char16_t* result = format(buffer);
    EXPECT_EQ(result, buffer);
    return narrow(buffer);
}

TEST(FormatDuration, Table) {
    const double year = 31536000;
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0, "0 seconds"},
        {-5, "0 seconds"},
        {0.05, "0 seconds"},
        {0.0999, "0 seconds"},
        {0.5, "0.5 seconds"},
        {59, "59.0 seconds"},
        {60, "60.0 seconds"},  // the boundary falls one unit short
        {61, "1 minute"},  // the second is lost to truncation
        {61.5, "1 minute, 1 second"},
        {120, "1 minute, 59 seconds"},
        {125, "2 minutes, 5 seconds"},
        {3600, "1 hour"},
        {3661, "1 hour, 1 minute"},
        {7322, "2 hours, 2 minutes"},
        {86400, "1 day"},
        {90061, "1 day, 1 hour"},
        {2 * 86400 + 90, "2 days, 1 minute"},
        {year, "1 year"},
        {2 * year + 2 * 86400 + 10, "2 years, 2 days"},
        {100 * year, "100 years"},
        {9999.5 * year, "9999 years"},
        {12345.6 * year, "12 thousand years"},
        {2.5e6 * year, "2 million years"},
        {1e9 * year, "too long"},
        {1e300, "too long"},
    };
    for (const auto& c : cases) EXPECT_EQ(text_of([&](char16_t* b) { return format_duration(b, c.seconds); }), c.text) << c.seconds;
}

TEST(FormatDuration, NotANumberIsZero) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(text_of([&](char16_t* b) { return format_duration(b, nan); }), "0 seconds");
}

TEST(FormatSize, Table) {
    const std::uint64_t K = 1024, M = K * K, G = M * K, T = G * K, P = T * K;
    const struct {
        std::uint64_t size;
        const char* text;
    } cases[] = {
        {0, "0 bytes"},
        {1, "1 bytes"},
        {1023, "1023 bytes"},
        {1024, "1 KB"},
        {1536, "2 KB"},
        {1048575, "1024 KB"},
        {1572864, "1.5 MB"},
        {G - 1, "1024.0 MB"},
        {G + G / 2, "1.50 GB"},
        {5 * G + G / 2, "5.50 GB"},
        {4 * G, "4.00 GB"},
        {T + T / 2, "1.50 TB"},
        {T + (1ull << 32) - 1, "1.00 TB"},
        {P, "1.00 PB"},
        {~0ull, "16384.00 PB"},
    };
    for (const auto& c : cases) EXPECT_EQ(text_of([&](char16_t* b) { return format_size(b, c.size); }), c.text) << c.size;
}

TEST(FormatSpeed, Table) {
    const struct {
        double speed;
        const char* text;
    } cases[] = {
        {0, "0 bytes/s"},
        {0.0005, "524 bytes/s"},
        {1.0 / 1024, "1024 bytes/s"},  // 1 KB/s is not above 1 KB/s
        {0.5, "512.0 KB/s"},
        {1, "1024.0 KB/s"},
        {1.05, "1.1 MB/s"},
        {1024, "1024.0 MB/s"},
        {1025, "1.0 GB/s"},
        {2097152, "2.0 TB/s"},
        {137438953472.0, "131072.0 TB/s"},
        {137438953473.0 * 1.01, "really fast"},
    };
    for (const auto& c : cases) EXPECT_EQ(text_of([&](char16_t* b) { return format_speed(b, c.speed); }), c.text) << c.speed;
}

TEST(FormatScheme, Table) {
    const struct {
        std::uint32_t rounds, block, flags;
        const char* text;
    } cases[] = {
        {0, 65536, SCHEME_WITH_BLOCK, "QVK Stream"},
        {0, 2, 0, "QVK Stream"},
        {4, 65536, SCHEME_WITH_BLOCK, "QVK 4X Jumble, 64 KB Block"},
        {4, 65536, 0, "QVK 4X Jumble"},
        {16, 1572864, SCHEME_WITH_BLOCK, "QVK 16X Jumble, 2 MB Block"},
        {8, 1048575, SCHEME_WITH_BLOCK, "QVK 8X Jumble, 1024 KB Block"},
        {7, 524288, SCHEME_WITH_BLOCK, "QVK 7X Jumble, 512 KB Block"},
        {2, 1000, SCHEME_WITH_BLOCK, "QVK 2X Jumble, 1000 Byte Block"},
        {9, 0, SCHEME_WITH_BLOCK, "QVK Empty"},
        {9, 1, SCHEME_WITH_BLOCK, "QVK Stream"},
        {4294967295u, 4294967295u, SCHEME_WITH_BLOCK, "QVK 4294967295X Jumble, 4096 MB Block"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text_of([&](char16_t* b) { return format_scheme(b, c.rounds, c.block, c.flags); }), c.text);
}

TEST(FormatBlockRange, Table) {
    const struct {
        std::uint32_t block;
        const char* text;
    } cases[] = {
        {32768, "16 to 48 KB"},  {1048576, "512 to 1536 KB"}, {2097152, "1 to 3 MB"},
        {100000, "48 to 146 KB"}, {33554432, "16 to 48 MB"},  {0, "0 to 0 KB"},
    };
    for (const auto& c : cases) EXPECT_EQ(text_of([&](char16_t* b) { return format_block_range(b, c.block); }), c.text);
}

TEST(FormatNumbers, Placeholders) {
    const struct {
        const char16_t* format;
        double value;
        const char* text;
    } reals[] = {
        {u"%.2f", 2.675, "2.67"},  // 2.675 + 0.005 lies just below 2.68
        {u"%.0f", 0.5, "1"},
        {u"%.0f", 0.49, "0"},
        {u"%.1f", 0.04, "0.0"},
        {u"%.3f", 1.0006, "1.001"},
        {u"%.2f", 3.0, "3.00"},
        {u"x%.1fy", 9.96, "x10.0y"},
        {u"%.9f", 1.25, "1.3"},  // 9 AND 7 is 1
        {u"%.8f", 1.75, "2"},    // 8 AND 7 is 0
        {u"%.2", 1.0, ""},       // not a placeholder: the text before it only
        {u"no placeholder", 1.0, "no placeholder"},
    };
    for (const auto& c : reals) {
        char16_t buffer[FORMAT_UNITS];
        const std::size_t n = format_real(buffer, c.format, c.value);
        EXPECT_EQ(narrow(buffer), c.text) << narrow(c.format) << " " << c.value;
        EXPECT_EQ(n, std::string(c.text).size());
    }
    const struct {
        const char16_t* format;
        std::uint32_t value;
        const char* text;
    } uints[] = {
        {u"%x", 255, "ff"},        {u"%u", 0, "0"},           {u"%x", 0, "0"},
        {u"%u", 4294967295u, "4294967295"}, {u"%x", 0xDEADBEEF, "deadbeef"}, {u"<%u>", 42, "<42>"},
        {u"end %", 5, "end "},
    };
    for (const auto& c : uints) {
        char16_t buffer[FORMAT_UNITS];
        const std::size_t n = format_uint(buffer, c.format, c.value);
        EXPECT_EQ(narrow(buffer), c.text);
        EXPECT_EQ(n, std::string(c.text).size());
    }
}

TEST(FormatNumbers, NeverMoreThan63Units) {
    const std::u16string long_text(100, u'a');
    const std::u16string with_number = std::u16string(60, u'b') + u"%u" + std::u16string(20, u'c');
    char16_t buffer[FORMAT_UNITS + 8];
    for (char16_t& c : buffer) c = u'#';
    EXPECT_EQ(format_uint(buffer, long_text.c_str(), 1), 63u);
    EXPECT_EQ(buffer[63], 0);
    EXPECT_EQ(buffer[64], u'#');
    EXPECT_EQ(format_uint(buffer, with_number.c_str(), 123456), 63u);
    EXPECT_EQ(narrow(buffer), std::string(60, 'b') + "123");
    EXPECT_EQ(format_real(buffer, (std::u16string(62, u'd') + u"%.2f").c_str(), 1.5), 63u);
    EXPECT_EQ(buffer[64], u'#');
}

TEST(FormatDateTime, LocalTextOfAFileTime) {
    char16_t buffer[DATE_TIME_UNITS];
    for (char16_t& c : buffer) c = u'#';
    // 2020-06-15 12:00 UTC: a date in every time zone.
    EXPECT_EQ(format_date_time(buffer, 132366096000000000ull), buffer);
    const std::string text = narrow(buffer);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.find("20"), std::string::npos) << text;
    EXPECT_LT(text.size(), DATE_TIME_UNITS);
}

TEST(ProgressBar, PositionFromFraction) {
    const std::pair<double, int> cases[] = {{0.0, 0},   {1e-9, 0},   {0.5, 50},   {0.285, 28},
                                            {0.998, 99}, {0.999, 100}, {1.0, 100}, {1.2, 100}};
    for (const auto& [fraction, position] : cases) EXPECT_EQ(progress_position(fraction), position) << fraction;
}

}  // namespace
}  // namespace corvane::ui
