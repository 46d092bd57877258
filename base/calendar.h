// Gregorian calendar arithmetic for log dates and the pages' calendars.

#ifndef TOVEX_BASE_CALENDAR_H_
#define TOVEX_BASE_CALENDAR_H_

#include <array>
#include <string_view>

namespace tovex {

// The month names of log time stamps; the month number is index + 1.
inline constexpr std::array<std::string_view, 12> MonthNames = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun",
    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// 1..12 for a month name (exact bytes), 0 for anything else.
int MonthNumber(std::string_view name);

// 28 to 31 days by the Gregorian rule; -1 for a month outside 1..12.
int DaysInMonth(int year, int month);

// 0 (Sunday) to 6 (Saturday); -1 when day exceeds DaysInMonth (so for every
// day of 0 or more in an invalid month). A day of 0 or less is not rejected.
int WeekdayOf(int year, int month, int day);

}  // namespace tovex

#endif  // TOVEX_BASE_CALENDAR_H_
