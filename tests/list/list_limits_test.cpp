#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/handles.h"
#include "signing/text/authority_checks.h"
#include "tests/list/list_test_support.h"
#include "tests/support/cert_store_setup.h"
#include "tests/support/korvel_dll.h"
#include "tests/support/self_signed.h"
#include "tests/support/wide_text.h"

using namespace list_testing;
using testing_support::KorvelDll;

namespace {

// A certificate that qualifies (authority key identifier of entry 1) and ends
// 2026-03-20, inside the window of kMarch2026, named CN=`commonName`.
testing_support::Bytes qualifyingSelfSigned(const std::wstring& commonName) {
  testing_support::Bytes keyId = {0x30, 0x16, 0x80, 0x14};
  keyId.insert(keyId.end(), korvel::knownAuthorityKeyIds[0], korvel::knownAuthorityKeyIds[0] + 20);
  const SYSTEMTIME from{2025, 6, 0, 1, 0, 0, 0, 0};
  const SYSTEMTIME to{2026, 3, 5, 20, 0, 0, 0, 0};
  return testing_support::selfSignedCertificate(commonName, {{"2.5.29.35", keyId}}, from, to);
}

TEST(ListLimits, NamesLongerThan8191CharactersAreCut) {
  std::wstring name;
  for (int i = 0; i < 9000; ++i) name += static_cast<wchar_t>(L'A' + i % 26);
  const auto der = qualifyingSelfSigned(name);
  ASSERT_FALSE(der.empty());
  ASSERT_EQ(testing_support::clearPersonalStore(), S_OK);
  ASSERT_EQ(testing_support::addCertificate(der), S_OK);
  auto control = KorvelDll::instance().createControl();
  setServerTime(control.get(), kMarch2026);
  const auto content = runAndRead(control.get());
  ASSERT_EQ(content.rows.size(), 1u);
  EXPECT_EQ(content.rows[0][0].size(), 8191u);
  EXPECT_EQ(content.rows[0][0], name.substr(0, 8191));
  // The friendly display name falls back to the same cut name.
  EXPECT_EQ(content.rows[0][1], L"");
  EXPECT_EQ(content.rows[0][2], L"2026/3/20");
}

struct ServerDateCase {
  const char* what;
  const wchar_t* text;  // Server_Date as the page puts it (milliseconds)
  size_t rows;
};

class ExtremeServerDate : public testing::TestWithParam<ServerDateCase> {};

// Out-of-range texts become the earliest server time; neither it nor the
// latest one may wrap the window round so that old certificates qualify.
TEST_P(ExtremeServerDate, ListsOnlyWhatTheWindowHolds) {
  useStore({{L"window.der", std::nullopt}, {L"yearly.der"}});
  auto control = KorvelDll::instance().createControl();
  framework::UniqueBstr text(testing_support::makeBstr(GetParam().text));
  ASSERT_EQ(control->put_Server_Date(text.get()), S_OK);
  const auto content = runAndRead(control.get());
  EXPECT_EQ(content.rows.size(), GetParam().rows) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExtremeServerDate,
    testing::Values(ServerDateCase{"2026-03-01, for comparison", L"1772323200000", 2},
                    ServerDateCase{"far below the range", L"-99999999999999999999999", 0},
                    ServerDateCase{"far above the range", L"99999999999999999999999", 0},
                    ServerDateCase{"largest 64-bit count", L"9223372036854775807", 0},
                    ServerDateCase{"smallest 64-bit count", L"-9223372036854775808", 0}));

// Rows are added with the list's redrawing paused: once the dialog is open
// the list paints again and asks the dialog how to draw every row.
thread_local int itemDrawQuestions = 0;

LRESULT CALLBACK watchCustomDraw(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && message->message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(message->lParam);
    if (header->idFrom == 1002 && header->code == NM_CUSTOMDRAW &&
        reinterpret_cast<const NMCUSTOMDRAW*>(header)->dwDrawStage == CDDS_ITEMPREPAINT)
      ++itemDrawQuestions;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(ListLimits, ListPaintsItsRowsOnceBuilt) {
  useStore({{L"window.der", std::nullopt}, {L"yearly.der"}, {L"not-yet.der"}});
  auto control = KorvelDll::instance().createControl();
  setServerTime(control.get(), kMarch2026);
  bool visible = false;
  const auto content = runAndRead(control.get(), [&](HWND dialog, HWND list) {
    // The modal loop may not have shown the dialog yet: show it to paint.
    ShowWindow(dialog, SW_SHOWNOACTIVATE);
    visible = IsWindowVisible(list) != FALSE;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, watchCustomDraw, nullptr, GetCurrentThreadId());
    itemDrawQuestions = 0;
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    UnhookWindowsHookEx(hook);
  });
  EXPECT_EQ(content.rows.size(), 3u);
  EXPECT_TRUE(visible);
  EXPECT_GE(itemDrawQuestions, 3);
}

}  // namespace
