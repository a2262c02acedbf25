#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "dialog/text/renewal_window.h"

namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kS = 1772323200;  // 2026-03-01 00:00:00 UTC

struct WindowCase {
  const char* what;
  int64_t serverTime;
  int64_t notAfter;
  bool inside;
};

class RenewalWindowBounds : public testing::TestWithParam<WindowCase> {};

TEST_P(RenewalWindowBounds, ContainsExactlyTheStatedSpan) {
  const auto window = korvel::renewalWindowAround(GetParam().serverTime);
  EXPECT_EQ(window.contains(GetParam().notAfter), GetParam().inside) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RenewalWindowBounds,
    testing::Values(WindowCase{"30 days after", kS, kS + 2592000, true},
                    WindowCase{"30 days and 1 s after", kS, kS + 2592001, false},
                    WindowCase{"370 days before", kS, kS - 31968000, true},
                    WindowCase{"370 days and 1 s before", kS, kS - 31968001, false},
                    WindowCase{"the server time itself", kS, kS, true},
                    WindowCase{"never set: around 1970", 0, kS, false},
                    WindowCase{"never set: 1970 itself", 0, 0, true},
                    // The earliest server time (an out-of-range Server_Date)
                    // must not wrap round into a window that holds everything.
                    WindowCase{"earliest server time, 1970", kMin, 0, false},
                    WindowCase{"earliest server time, its own second", kMin, kMin, true},
                    WindowCase{"latest server time, 3000", kMax, 32535215999, false},
                    WindowCase{"latest server time, its own second", kMax, kMax, true}));

TEST(RenewalWindowBounds, SaturateAtTheEndsOfTheRange) {
  EXPECT_EQ(korvel::renewalWindowAround(kMin).lower, kMin);
  EXPECT_EQ(korvel::renewalWindowAround(kMin).upper, kMin + 2592000);
  EXPECT_EQ(korvel::renewalWindowAround(kMax).upper, kMax);
  EXPECT_EQ(korvel::renewalWindowAround(kMax).lower, kMax - 31968000);
}

}  // namespace
