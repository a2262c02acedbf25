// Run with the process in UTC+9 (TZ=JST-9).
#include <gtest/gtest.h>

#include "tests/list/list_test_support.h"
#include "tests/support/korvel_dll.h"

using namespace list_testing;

TEST(TimeZoneTokyo, EndDateIsTheLocalDate) {
  TIME_ZONE_INFORMATION zone{};
  GetTimeZoneInformation(&zone);
  ASSERT_EQ(zone.Bias, -540) << "the process must run in UTC+9";
  // NotAfter 2026-03-31 15:00:00 UTC is 2026-04-01 00:00 in Tokyo.
  useStore({{L"tokyo.der"}});
  auto control = testing_support::KorvelDll::instance().createControl();
  // Server time 2026-03-02 00:00 UTC: the end lies inside the 30 days.
  setServerTime(control.get(), kMarch2026 + 86400);
  const auto content = runAndRead(control.get());
  ASSERT_EQ(content.rows.size(), 1u);
  EXPECT_EQ(content.rows[0][2], L"2026/4/1");
  EXPECT_EQ(content.rows[0][3], L"2025/4/1 - 2026/4/1");
}
