// The renewal window's bounds, to the second. Built into the list tests and
// into the same tests run in UTC+9, where the local-time conversions of the
// platform and of the C runtime must agree for the bounds to hold.
#include <gtest/gtest.h>

#include "tests/list/list_test_support.h"
#include "tests/support/korvel_dll.h"

using namespace list_testing;
using testing_support::KorvelDll;

namespace {

// NotAfter of window.der: 2026-03-15 12:34:56 UTC.
constexpr int64_t kWindowEnd = 1773578096;
constexpr int64_t kBefore = 31968000;  // 370 days
constexpr int64_t kAfter = 2592000;    // 30 days

struct WindowCase {
  const char* what;
  int64_t serverTime;
  bool listed;
};

class RenewalWindow : public testing::TestWithParam<WindowCase> {};

TEST_P(RenewalWindow, BoundsCountToTheSecond) {
  useStore({{L"window.der", std::nullopt}});
  auto control = KorvelDll::instance().createControl();
  setServerTime(control.get(), GetParam().serverTime);
  const auto content = runAndRead(control.get());
  EXPECT_EQ(content.rows.size(), GetParam().listed ? 1u : 0u) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RenewalWindow,
    testing::Values(WindowCase{"ends exactly 30 days after", kWindowEnd - kAfter, true},
                    WindowCase{"ends 30 days and 1 s after", kWindowEnd - kAfter - 1, false},
                    WindowCase{"ended exactly 370 days before", kWindowEnd + kBefore, true},
                    WindowCase{"ended 370 days and 1 s before", kWindowEnd + kBefore + 1, false},
                    WindowCase{"ended 200 days before", kWindowEnd + 200 * 86400LL, true},
                    WindowCase{"ends 10 days after", kWindowEnd - 10 * 86400LL, true},
                    WindowCase{"ended 400 days before", kWindowEnd + 400 * 86400LL, false},
                    WindowCase{"ends 60 days after", kWindowEnd - 60 * 86400LL, false},
                    WindowCase{"server time never set", 0, false}));

}  // namespace
