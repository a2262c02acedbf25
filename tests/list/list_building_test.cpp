#include <gtest/gtest.h>

#include <algorithm>

#include "framework/handles.h"
#include "tests/list/list_test_support.h"
#include "tests/support/korvel_dll.h"
#include "tests/support/wide_text.h"

using namespace list_testing;
using Texts = std::vector<std::wstring>;
using testing_support::KorvelDll;

namespace {

TEST(ListBuilding, OnlyEligibleCertificatesAreListedWhateverTheirDates) {
  useStore({{L"no-aki.der"},
            {L"private-false.der"},
            {L"unknown-ca.der"},
            {L"not-yet.der"},
            {L"private.der"},
            {L"window.der", std::nullopt}});
  auto control = KorvelDll::instance().createControl();
  setServerTime(control.get(), kMarch2026);
  const auto content = runAndRead(control.get());
  // Sorted by name ascending on opening.
  EXPECT_EQ(columnTexts(content, 0), (Texts{L"Not Yet", L"Private", L"Window"}));
}

TEST(ListBuilding, ShowsEndDateAndValidityPeriodInLocalDates) {
  useStore({{L"yearly.der"}, {L"not-yet.der"}});
  auto control = KorvelDll::instance().createControl();
  setServerTime(control.get(), kMarch2026);
  const auto content = runAndRead(control.get());
  ASSERT_EQ(content.rows.size(), 2u);
  // Not valid yet at the server time (starts 2026-03-10), listed all the same.
  EXPECT_EQ(content.rows[0][0], L"Not Yet");
  EXPECT_EQ(content.rows[0][2], L"2026/3/20");
  EXPECT_EQ(content.rows[0][3], L"2026/3/10 - 2026/3/20");
  EXPECT_EQ(content.rows[1][0], L"Yearly");
  EXPECT_EQ(content.rows[1][2], L"2026/3/31");
  EXPECT_EQ(content.rows[1][3], L"2025/4/1 - 2026/3/31");
}

TEST(ListBuilding, UnconvertibleValidityTimeLeavesOnlyThatCertificateOut) {
  // A start in 1960 is outside the runtime's time range; one before 1900
  // counts as 1970-01-01.
  useStore({{L"pre-1970.der"}, {L"old-start.der"}, {L"yearly.der"}});
  auto control = KorvelDll::instance().createControl();
  setServerTime(control.get(), kMarch2026);
  const auto content = runAndRead(control.get());
  ASSERT_EQ(content.rows.size(), 2u);
  EXPECT_EQ(content.rows[0][0], L"Old Start");
  EXPECT_EQ(content.rows[0][3], L"1970/1/1 - 2026/3/20");
  EXPECT_EQ(content.rows[1][0], L"Yearly");
}

struct NicknameCase {
  const char* what;
  std::optional<std::wstring> friendlyName;
  std::wstring shown;
};

class Nickname : public testing::TestWithParam<NicknameCase> {};

TEST_P(Nickname, ShownOnlyWhenDifferentFromTheName) {
  useStore({{L"nick.der", GetParam().friendlyName}});
  auto control = KorvelDll::instance().createControl();
  setServerTime(control.get(), kMarch2026);
  const auto content = runAndRead(control.get());
  ASSERT_EQ(content.rows.size(), 1u);
  EXPECT_EQ(content.rows[0][0], L"Nick");
  EXPECT_EQ(content.rows[0][1], GetParam().shown) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Table, Nickname,
                         testing::Values(NicknameCase{"no friendly name", std::nullopt, L""},
                                         NicknameCase{"equal to the name", L"Nick", L""},
                                         NicknameCase{"differs in letter case", L"nick", L"nick"},
                                         NicknameCase{"another text", L"私の証明書", L"私の証明書"}));

TEST(ListBuilding, TwoCertificatesWithTheSameNameGiveTwoRows) {
  useStore({{L"twin-1.der"}, {L"twin-2.der"}});
  auto control = KorvelDll::instance().createControl();
  setServerTime(control.get(), kMarch2026);
  const auto content = runAndRead(control.get());
  EXPECT_EQ(columnTexts(content, 0), (Texts{L"Twin", L"Twin"}));
  auto data = content.itemData;
  std::sort(data.begin(), data.end());
  EXPECT_EQ(data, (std::vector<LPARAM>{0, 1}));
}

// The rows' item data are the row indexes 0..n-1 in the store's order, on
// every run, also after the store changed.
TEST(ListBuilding, RowIndexesFollowTheStoreOnEveryRun) {
  auto control = KorvelDll::instance().createControl();
  setServerTime(control.get(), kMarch2026);
  auto nameOfRow = [](const ListContent& content) {
    std::vector<std::wstring> names(content.rows.size());
    for (size_t i = 0; i < content.rows.size(); ++i) {
      const auto row = static_cast<size_t>(content.itemData[i]);
      EXPECT_LT(row, names.size());
      if (row < names.size()) names[row] = content.rows[i][0];
    }
    return names;
  };
  auto storeOrder = [] {
    // Names of the listed certificates in the store's enumeration order.
    std::vector<std::wstring> names;
    framework::UniqueCertStore store(CertOpenSystemStoreW(0, L"MY"));
    PCCERT_CONTEXT certificate = nullptr;
    while ((certificate = CertEnumCertificatesInStore(store.get(), certificate)) != nullptr) {
      wchar_t name[256] = {};
      CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256);
      if (std::wstring(name) != L"No Key Id") names.push_back(name);
    }
    return names;
  };

  useStore({{L"window.der", std::nullopt}, {L"yearly.der"}, {L"no-aki.der"}});
  const auto first = runAndRead(control.get());
  EXPECT_EQ(nameOfRow(first), storeOrder());

  useStore({{L"private.der"}, {L"no-aki.der"}, {L"not-yet.der"}, {L"yearly.der"}});
  const auto second = runAndRead(control.get());
  EXPECT_EQ(second.rows.size(), 3u);
  EXPECT_EQ(nameOfRow(second), storeOrder());
}

TEST(ListBuilding, ColumnsHaveTitlesAndSharesOfTheClientWidth) {
  useStore({});
  auto control = KorvelDll::instance().createControl();
  const auto content = runAndRead(control.get());
  ASSERT_EQ(content.columnCount, 4);
  EXPECT_EQ(testing_support::utf8(content.titles[0]), "名前");
  EXPECT_EQ(testing_support::utf8(content.titles[1]), "ニックネーム");
  EXPECT_EQ(testing_support::utf8(content.titles[2]), "期間終了日");
  EXPECT_EQ(testing_support::utf8(content.titles[3]), "有効期間");
  const double width = content.clientWidth;
  ASSERT_GT(width, 100);
  EXPECT_EQ(content.widths[0], static_cast<int>(width * static_cast<double>(0.2f)));
  EXPECT_EQ(content.widths[1], content.widths[0]);
  EXPECT_EQ(content.widths[2], content.widths[0]);
  EXPECT_EQ(content.widths[3], static_cast<int>(width * static_cast<double>(0.4f)));
  const int total = content.widths[0] * 3 + content.widths[3];
  EXPECT_LE(total, content.clientWidth);
  EXPECT_GE(total, content.clientWidth - 3);
}

TEST(ListBuilding, SecondRunDoesNotAddColumnsTwice) {
  useStore({{L"yearly.der"}});
  auto control = KorvelDll::instance().createControl();
  setServerTime(control.get(), kMarch2026);
  runAndRead(control.get());
  const auto second = runAndRead(control.get());
  EXPECT_EQ(second.columnCount, 4);
  EXPECT_EQ(second.rows.size(), 1u);
}

}  // namespace
