#pragma once
#include <ctime>
#include <string>

namespace korvel {

// A local calendar date; parts that could not be computed are 0.
struct CalendarDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

// The date of a broken-down time from the C library (`localtime`); a part
// that does not fit an int (a year near INT_MAX) is 0.
CalendarDate calendarDateOf(const std::tm& calendar);

// "year/month/day" without leading zeros, for example 2026/3/5.
std::wstring dateText(const CalendarDate& date);

// "from - to", each part as dateText.
std::wstring validityText(const CalendarDate& from, const CalendarDate& to);

}  // namespace korvel
