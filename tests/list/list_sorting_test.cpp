#include <gtest/gtest.h>

#include "tests/list/list_test_support.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/korvel_dll.h"

using namespace list_testing;
using Texts = std::vector<std::wstring>;

namespace {

class Sorting : public testing::Test {
 protected:
  void SetUp() override {
    // Bravo ends 2026/10/1, Alpha 2026/9/30, Charlie 2026/9/20.
    useStore({{L"bravo.der", std::nullopt}, {L"alpha.der", L"Zulu"}, {L"charlie.der", L"Mike"}});
    control_ = testing_support::KorvelDll::instance().createControl();
    setServerTime(control_.get(), kSeptember2026);
  }
  Texts namesAfter(const std::vector<int>& clicks) {
    return columnTexts(runAndRead(control_.get(),
                                  [&](HWND dialog, HWND list) {
                                    for (int column : clicks) testing_support::clickColumn(dialog, list, column);
                                  }),
                       0);
  }
  framework::ComPtr<IKorvelIE> control_;
};

TEST_F(Sorting, OpensByNameAscendingAndFirstClickSortsDescending) {
  EXPECT_EQ(namesAfter({}), (Texts{L"Alpha", L"Bravo", L"Charlie"}));
  EXPECT_EQ(namesAfter({0}), (Texts{L"Charlie", L"Bravo", L"Alpha"}));
}

TEST_F(Sorting, SecondClickSortsAscendingAgain) {
  EXPECT_EQ(namesAfter({0, 0}), (Texts{L"Alpha", L"Bravo", L"Charlie"}));
}

TEST_F(Sorting, EndDatesSortAsText) {
  // Descending, then ascending: 2026/10/1 comes before 2026/9/30 as text.
  EXPECT_EQ(namesAfter({2}), (Texts{L"Alpha", L"Charlie", L"Bravo"}));
  EXPECT_EQ(namesAfter({2}), (Texts{L"Bravo", L"Charlie", L"Alpha"}));
}

TEST_F(Sorting, EmptyNicknamesComeFirstAscending) {
  EXPECT_EQ(namesAfter({1, 1}), (Texts{L"Bravo", L"Charlie", L"Alpha"}));
}

TEST_F(Sorting, EachColumnKeepsItsDirectionAndTheNextRunOpensAsLeft) {
  // Column 2 descending, column 3 descending, column 2 ascending.
  EXPECT_EQ(namesAfter({2, 3, 2}), (Texts{L"Bravo", L"Charlie", L"Alpha"}));
  EXPECT_EQ(namesAfter({}), (Texts{L"Bravo", L"Charlie", L"Alpha"}));
}

TEST_F(Sorting, CustomDrawAnswersAndGreysTheSelectedRow) {
  runAndRead(control_.get(), [](HWND dialog, HWND list) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&state));
    auto draw = [&](DWORD stage, int item) {
      NMLVCUSTOMDRAW notification{};
      notification.nmcd.hdr.hwndFrom = list;
      notification.nmcd.hdr.idFrom = 1002;
      notification.nmcd.hdr.code = NM_CUSTOMDRAW;
      notification.nmcd.dwDrawStage = stage;
      notification.nmcd.dwItemSpec = static_cast<DWORD_PTR>(item);
      LVITEMW param{};
      param.mask = LVIF_PARAM;
      param.iItem = item;
      SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&param));
      notification.nmcd.lItemlParam = param.lParam;
      notification.clrTextBk = RGB(1, 2, 3);
      SendMessageW(dialog, WM_NOTIFY, 1002, reinterpret_cast<LPARAM>(&notification));
      return std::make_pair(GetWindowLongPtrW(dialog, DWLP_MSGRESULT), notification.clrTextBk);
    };
    EXPECT_EQ(draw(CDDS_PREPAINT, 0).first, CDRF_NOTIFYITEMDRAW);
    EXPECT_EQ(draw(CDDS_ITEMPREPAINT, 1).first, CDRF_NOTIFYSUBITEMDRAW);
    for (int item = 0; item < 3; ++item) {
      const auto answer = draw(CDDS_ITEMPREPAINT | CDDS_SUBITEM, item);
      EXPECT_EQ(answer.first, CDRF_DOERASE);
      EXPECT_EQ(answer.second, item == 1 ? RGB(228, 228, 228) : RGB(1, 2, 3)) << item;
    }
    EXPECT_EQ(draw(CDDS_POSTPAINT, 0).first, CDRF_DODEFAULT);
  });
}

}  // namespace
