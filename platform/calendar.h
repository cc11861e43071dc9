// The calendar rules both system files apply to a time given as fields, so a
// date is accepted or refused alike everywhere, whatever a system's own
// conversion (or Wine's) would let through.
#pragma once

#include "platform/platform.h"

namespace corvane::platform {

[[nodiscard]] constexpr bool is_leap_year(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

[[nodiscard]] constexpr unsigned days_in_month(unsigned year, unsigned month) {
    constexpr unsigned DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : DAYS[month - 1];
}

// The range Windows accepts for a SYSTEMTIME; the day of the week is ignored.
[[nodiscard]] constexpr bool valid_calendar(const CalendarTime& c) {
    if (c.year < 1601 || c.year > 30827) return false;
    if (c.month < 1 || c.month > 12) return false;
    if (c.day < 1 || c.day > days_in_month(c.year, c.month)) return false;
    return c.hour <= 23 && c.minute <= 59 && c.second <= 59 && c.milliseconds <= 999;
}

}  // namespace corvane::platform
