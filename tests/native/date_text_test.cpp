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
