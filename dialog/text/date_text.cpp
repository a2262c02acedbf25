#include "dialog/text/date_text.h"

#include <cwchar>

namespace korvel {

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
