#include "dialog/text/date_text.h"

#include <climits>
#include <cwchar>

namespace korvel {
namespace {

// value + offset, or 0 when that is outside int.
int offsetPart(int value, int offset) {
  const long long part = static_cast<long long>(value) + offset;
  return part >= INT_MIN && part <= INT_MAX ? static_cast<int>(part) : 0;
}

}  // namespace

CalendarDate calendarDateOf(const std::tm& calendar) {
  CalendarDate date;
  date.year = offsetPart(calendar.tm_year, 1900);
  date.month = offsetPart(calendar.tm_mon, 1);
  date.day = calendar.tm_mday;
  return date;
}

std::wstring dateText(const CalendarDate& date) {
  wchar_t text[40];
  std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%d/%d/%d", date.year, date.month, date.day);
  return text;
}

std::wstring validityText(const CalendarDate& from, const CalendarDate& to) {
  wchar_t text[80];
  std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%d/%d/%d - %d/%d/%d", from.year, from.month, from.day,
                to.year, to.month, to.day);
  return text;
}

}  // namespace korvel
