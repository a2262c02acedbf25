#pragma once
#include <string>

namespace korvel {

// A local calendar date; parts that could not be computed are 0.
struct CalendarDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

// "year/month/day" without leading zeros, for example 2026/3/5.
std::wstring dateText(const CalendarDate& date);

// "from - to", each part as dateText.
std::wstring validityText(const CalendarDate& from, const CalendarDate& to);

}  // namespace korvel
