#include "dialog/text/date_text.h"

namespace korvel {
namespace {

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
