#include <gtest/gtest.h>

#include <climits>

#include "dialog/text/date_text.h"

TEST(DateText, NoLeadingZerosYearFirst) {
  EXPECT_EQ(korvel::dateText({2026, 3, 5}), L"2026/3/5");
  EXPECT_EQ(korvel::dateText({2026, 12, 31}), L"2026/12/31");
  EXPECT_EQ(korvel::dateText({0, 0, 0}), L"0/0/0");
  EXPECT_EQ(korvel::dateText({INT_MIN, INT_MIN, INT_MIN}), L"-2147483648/-2147483648/-2147483648");
}

TEST(DateText, ValidityJoinsBothDates) {
  EXPECT_EQ(korvel::validityText({2025, 4, 1}, {2026, 3, 31}), L"2025/4/1 - 2026/3/31");
  EXPECT_EQ(korvel::validityText({INT_MIN, INT_MIN, INT_MIN}, {INT_MIN, INT_MIN, INT_MIN}),
            L"-2147483648/-2147483648/-2147483648 - -2147483648/-2147483648/-2147483648");
}

TEST(DateText, CalendarDateOfBrokenDownTime) {
  std::tm calendar{};
  calendar.tm_year = 126;
  calendar.tm_mon = 2;
  calendar.tm_mday = 5;
  const korvel::CalendarDate date = korvel::calendarDateOf(calendar);
  EXPECT_EQ(dateText(date), L"2026/3/5");
  // A 64-bit C library gives years up to INT_MAX + 1900 for far times: the
  // year that does not fit an int is 0, not an overflow.
  calendar.tm_year = INT_MAX - 1900;
  EXPECT_EQ(korvel::calendarDateOf(calendar).year, INT_MAX);
  calendar.tm_year = INT_MAX;
  EXPECT_EQ(korvel::calendarDateOf(calendar).year, 0);
}
