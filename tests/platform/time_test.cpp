// Calendar conversion, the clock, date texts, entropy readings and wiping.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace corvane::platform {
namespace {

CalendarTime at(std::uint16_t year, std::uint16_t month, std::uint16_t day, std::uint16_t hour = 0,
                std::uint16_t minute = 0, std::uint16_t second = 0, std::uint16_t ms = 0) {
    return CalendarTime{year, month, 0, day, hour, minute, second, ms};
}

TEST(PlatformTime, CalendarToFiletimeOfKnownDates) {
    struct Case {
        const char* what;
        CalendarTime calendar;
        std::uint64_t expected;
    };
    const Case cases[] = {
        {"start of the epoch", at(1601, 1, 1), 0},
        {"one millisecond in", at(1601, 1, 1, 0, 0, 0, 1), 10000},
        {"end of 1601", at(1601, 12, 31, 23, 59, 59, 999), 315359999990000ull},
        {"unix epoch", at(1970, 1, 1), 116444736000000000ull},
        {"leap day 2000", at(2000, 2, 29, 12, 34, 56, 789), 125963012967890000ull},
        {"end of 2024", at(2024, 12, 31, 23, 59, 59, 999), 133801631999990000ull},
        {"year 9999", at(9999, 12, 31, 23, 59, 59, 999), 2650467743999990000ull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint64_t ft = 1;
        ASSERT_TRUE(calendar_to_filetime(c.calendar, &ft));
        EXPECT_EQ(ft, c.expected);
    }
}

TEST(PlatformTime, DayOfWeekIsNotChecked) {
    CalendarTime c = at(1970, 1, 1);
    c.day_of_week = 6;  // it was a Thursday
    std::uint64_t ft = 0;
    ASSERT_TRUE(calendar_to_filetime(c, &ft));
    EXPECT_EQ(ft, 116444736000000000ull);
}

TEST(PlatformTime, CalendarToFiletimeRejectsInvalidFields) {
    struct Case {
        const char* what;
        CalendarTime calendar;
    };
    const Case cases[] = {
        {"year before 1601", at(1600, 12, 31)}, {"month 0", at(2020, 0, 1)},
        {"month 13", at(2020, 13, 1)},          {"day 0", at(2020, 1, 0)},
        {"January 32", at(2020, 1, 32)},        {"April 31", at(2021, 4, 31)},
        {"February 29 1900", at(1900, 2, 29)}, {"February 29 2023", at(2023, 2, 29)},
        {"February 30 2000", at(2000, 2, 30)},  {"hour 24", at(2020, 5, 5, 24)},
        {"minute 60", at(2020, 5, 5, 0, 60)},   {"second 60", at(2020, 5, 5, 0, 0, 60)},
        {"millisecond 1000", at(2020, 5, 5, 0, 0, 0, 1000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint64_t ft = 0;
        EXPECT_FALSE(calendar_to_filetime(c.calendar, &ft));
    }
    std::uint64_t ft = 0;
    EXPECT_TRUE(calendar_to_filetime(at(2400, 2, 29), &ft)) << "2400 is a leap year";
}

TEST(PlatformTime, NowIsAPlausibleFiletime) {
    std::uint64_t y2020 = 0;
    std::uint64_t y2200 = 0;
    ASSERT_TRUE(calendar_to_filetime(at(2020, 1, 1), &y2020));
    ASSERT_TRUE(calendar_to_filetime(at(2200, 1, 1), &y2200));
    const std::uint64_t now = now_filetime();
    EXPECT_GT(now, y2020);
    EXPECT_LT(now, y2200);
}

std::u16string date_text(std::uint64_t ft) {
    char16_t out[128];
    std::fill(std::begin(out), std::end(out), u'#');
    local_date_time_text(ft, out);
    const auto end = std::find(std::begin(out), std::end(out), u'\0');
    EXPECT_NE(end, std::end(out)) << "text not terminated within 128 units";
    return std::u16string(std::begin(out), end);
}

TEST(PlatformTime, DateTextShowsDateAndMinutesButNotSeconds) {
    std::uint64_t base = 0;
    ASSERT_TRUE(calendar_to_filetime(at(2021, 6, 15, 12, 30, 5), &base));
    const std::uint64_t second = 10000000ull;
    const std::u16string text = date_text(base);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.find(u' '), std::u16string::npos);
    EXPECT_EQ(date_text(base + 40 * second), text) << "seconds must not show";
    EXPECT_NE(date_text(base + 60 * second), text) << "minutes must show";
    EXPECT_NE(date_text(base + 86400 * second), text) << "the day must show";
}

TEST(PlatformEntropy, ReadingsComeFromTheSystemAndChange) {
    EntropyReadings first;
    EntropyReadings second;
    read_entropy(&first);
    read_entropy(&second);
    EXPECT_NE(first.perf_frequency_low, 0u);
    EXPECT_NE(first.process_id, 0u);
    EXPECT_EQ(first.process_id, second.process_id);
    EXPECT_GT(first.system_time, 116444736000000000ull);
    EXPECT_GE(second.perf_counter, first.perf_counter);
    const auto nonzero = [](const std::uint8_t* p, std::size_t n) { return std::any_of(p, p + n, [](std::uint8_t b) { return b != 0; }); };
    EXPECT_TRUE(nonzero(first.memory_record, sizeof first.memory_record));
    EXPECT_TRUE(nonzero(first.system_record, sizeof first.system_record));
}

TEST(PlatformSecrets, WipeZeroesExactlyTheRange) {
    std::uint8_t buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), std::uint8_t{0xA5});
    secure_wipe(buffer + 8, 48);
    for (std::size_t i = 0; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], (i >= 8 && i < 56) ? 0 : 0xA5) << "at " << i;
}

}  // namespace
}  // namespace corvane::platform
