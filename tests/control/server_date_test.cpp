#include <gtest/gtest.h>

#include "tests/support/dialog_driver.h"
#include "tests/support/korvel_dll.h"

using testing_support::KorvelDll;

TEST(Smoke, CancelledRunReturnsCancelled) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  auto run = testing_support::runSignRenewal(control.get(), testing_support::cancelDialog);
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_TRUE(run.sawDialog);
  EXPECT_EQ(run.result, 0x80001067u);
}
