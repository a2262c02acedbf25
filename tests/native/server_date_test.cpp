#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "control/text/server_date.h"

namespace {

struct ServerDateCase {
  const wchar_t* text;
  int64_t seconds;
};

constexpr int64_t kOutOfRange = std::numeric_limits<int64_t>::min();

class ServerDateText : public ::testing::TestWithParam<ServerDateCase> {};

TEST_P(ServerDateText, GivesWholeSeconds) {
  EXPECT_EQ(korvel::serverSecondsFromText(GetParam().text), GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ServerDateText,
    ::testing::Values(ServerDateCase{L"1600000000999", 1600000000}, ServerDateCase{L"  1600000000999xyz", 1600000000},
                      ServerDateCase{L"-1500", -1}, ServerDateCase{L"-999", 0}, ServerDateCase{L"1e3", 1},
                      ServerDateCase{L"12e3", 12}, ServerDateCase{L"abc", 0}, ServerDateCase{L"", 0},
                      ServerDateCase{L"1e400", kOutOfRange}, ServerDateCase{L"-1e400", kOutOfRange},
                      ServerDateCase{L"1e-400", 0}, ServerDateCase{L"+2500.9", 2},
                      ServerDateCase{L"1600000000999.5", 1600000000}, ServerDateCase{L".5e4", 5},
                      ServerDateCase{L"7.", 0}, ServerDateCase{L"3000e", 3}, ServerDateCase{L"3000e+", 3},
                      ServerDateCase{L"2000E1", 20}, ServerDateCase{L"1,5e6", 0}, ServerDateCase{L"\t\r\n 4000", 4},
                      ServerDateCase{L"- 4000", 0}, ServerDateCase{L"inf", 0}, ServerDateCase{L"0x1000", 0},
                      // 2^63 seconds is just outside; the largest double below it is inside.
                      ServerDateCase{L"9223372036854775808000", kOutOfRange},
                      ServerDateCase{L"-9223372036854775808000", kOutOfRange}));

TEST(ServerDateText, NullReadsAsZero) { EXPECT_EQ(korvel::serverSecondsFromText(nullptr), 0); }

}  // namespace
