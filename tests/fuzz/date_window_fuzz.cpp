// The renewal window and the date texts for any 64-bit time: no overflow
// (UBSan stops at the first), bounds saturating at the ends of the range,
// and texts that are whole (never cut by their buffers).
//
// Input: the server time, a certificate end time (8 bytes each), then three
// ints of a date given directly. The C library's localtime (TZ JST-9) and
// gmtime stand in for the platform's 64-bit localtime.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "dialog/text/date_text.h"
#include "dialog/text/renewal_window.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

template <typename T>
T take(const uint8_t*& data, size_t& size) {
  T value{};
  const size_t n = size < sizeof(T) ? size : sizeof(T);
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

void checkWindow(int64_t serverTime, int64_t notAfter) {
  const korvel::RenewalWindow window = korvel::renewalWindowAround(serverTime);
  const __int128 lower = static_cast<__int128>(serverTime) - 31968000;
  const __int128 upper = static_cast<__int128>(serverTime) + 2592000;
  const __int128 min = INT64_MIN;
  const __int128 max = INT64_MAX;
  if (window.lower != (lower < min ? min : lower) || window.upper != (upper > max ? max : upper)) {
    fail("window bounds wrong");
  }
  const bool inside = lower <= notAfter && notAfter <= upper;
  if (window.contains(notAfter) != inside) fail("window test wrong");
}

std::wstring expectedDate(const korvel::CalendarDate& date) {
  return std::to_wstring(date.year) + L"/" + std::to_wstring(date.month) + L"/" + std::to_wstring(date.day);
}

void checkTexts(const korvel::CalendarDate& from, const korvel::CalendarDate& to) {
  if (korvel::dateText(to) != expectedDate(to)) fail("date text wrong or cut");
  if (korvel::validityText(from, to) != expectedDate(from) + L" - " + expectedDate(to)) {
    fail("validity text wrong or cut");
  }
}

korvel::CalendarDate dateOf(int64_t seconds, bool local) {
  const time_t time = static_cast<time_t>(seconds);
  std::tm calendar{};
  const bool converted = local ? localtime_r(&time, &calendar) != nullptr : gmtime_r(&time, &calendar) != nullptr;
  if (!converted) return korvel::CalendarDate{};
  const korvel::CalendarDate date = korvel::calendarDateOf(calendar);
  const long long year = static_cast<long long>(calendar.tm_year) + 1900;
  if (date.year != (year <= INT32_MAX ? year : 0) || date.month != calendar.tm_mon + 1 ||
      date.day != calendar.tm_mday) {
    fail("calendar date wrong");
  }
  return date;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "JST-9", 1);
  tzset();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int64_t serverTime = take<int64_t>(data, size);
  const int64_t notAfter = take<int64_t>(data, size);
  checkWindow(serverTime, notAfter);
  checkTexts(dateOf(serverTime, true), dateOf(notAfter, false));

  korvel::CalendarDate given;
  given.year = take<int>(data, size);
  given.month = take<int>(data, size);
  given.day = take<int>(data, size);
  checkTexts(given, given);
  return 0;
}
