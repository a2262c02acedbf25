#include "dialog/text/date_text.h"

#include <climits>

namespace korvel {
namespace {

// value + offset, or 0 when that is outside int.
int offsetPart(int value, int offset) {
  const long long part = static_cast<long long>(value) + offset;
  return part >= INT_MIN && part <= INT_MAX ? static_cast<int>(part) : 0;
}

// Appends `value` in decimal ("%d"): a minus sign when negative, no leading
// zeros. Works on the magnitude as unsigned so that INT_MIN is exact.
void appendDecimal(std::wstring& text, int value) {
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  wchar_t digits[10];
  size_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) text += L'-';
  while (count > 0) text += digits[--count];
}

void appendDate(std::wstring& text, const CalendarDate& date) {
  appendDecimal(text, date.year);
  text += L'/';
  appendDecimal(text, date.month);
  text += L'/';
  appendDecimal(text, date.day);
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
  std::wstring text;
  appendDate(text, date);
  return text;
}

std::wstring validityText(const CalendarDate& from, const CalendarDate& to) {
  std::wstring text;
  appendDate(text, from);
  text += L" - ";
  appendDate(text, to);
  return text;
}

}  // namespace korvel
