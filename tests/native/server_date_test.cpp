#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

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

namespace {

// The service's reading: the same numbers, but no number and numbers outside
// 64-bit seconds are told apart from real times.
TEST(ServerDateText, ReadableSecondsTellUnreadableText) {
  struct Case {
    const wchar_t* text;
    std::optional<int64_t> seconds;
  };
  const Case cases[] = {
      {L"1772323200000", 1772323200}, {L"  1600000000999xyz", 1600000000}, {L"-1500", -1}, {L"0", 0},
      {L"1e-400", 0},                 {L"abc", std::nullopt},             {L"", std::nullopt},
      {L"- 4000", std::nullopt},      {L"inf", std::nullopt},             {L"1e400", std::nullopt},
      {L"9223372036854775808000", std::nullopt}, {nullptr, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(korvel::readableServerSeconds(c.text), c.seconds) << (c.text ? c.text : L"(null)");
    if (c.seconds) EXPECT_EQ(korvel::serverSecondsFromText(c.text), *c.seconds);
  }
}

}  // namespace
