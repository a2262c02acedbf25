// The selection dialog as SignRenewal opens it, driven from this thread.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "framework/handles.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/korvel_dll.h"
#include "tests/support/wide_text.h"

using framework::UniqueBstr;
using testing_support::cancelDialog;
using testing_support::KorvelDll;
using testing_support::makeBstr;
using testing_support::runSignRenewal;
using testing_support::windowText;

namespace {

std::wstring get(IKorvelIE* control, HRESULT (STDMETHODCALLTYPE IKorvelIE::*getter)(BSTR*)) {
  UniqueBstr value;
  EXPECT_EQ((control->*getter)(value.put()), S_OK);
  return value ? std::wstring(value.get()) : L"";
}

TEST(Dialog, CancelKeepsOutputsAndReportsCancelled) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_EQ(control->put_IssuerDN(UniqueBstr(makeBstr(L"data to sign")).get()), S_OK);
  auto run = runSignRenewal(control.get(), cancelDialog);
  EXPECT_TRUE(run.sawDialog);
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(run.result, 0x80001067u);
  EXPECT_EQ(get(control.get(), &IKorvelIE::get_IssuerDN), L"data to sign");
  EXPECT_EQ(get(control.get(), &IKorvelIE::get_CertData), L"");
}

// Each way the user can cancel ends the dialog with the cancel code.
struct CancelWay {
  const char* name;
  void (*cancel)(HWND dialog);
};

class DialogCancel : public ::testing::TestWithParam<CancelWay> {};

TEST_P(DialogCancel, GivesCancelledCode) {
  auto control = KorvelDll::instance().createControl();
  auto run = runSignRenewal(control.get(), GetParam().cancel);
  EXPECT_TRUE(run.sawDialog);
  EXPECT_EQ(run.result, 0x80001067u);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, DialogCancel,
    ::testing::Values(
        CancelWay{"cancelButton", [](HWND d) { SendMessageW(GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0); }},
        CancelWay{"escapeKey",
                  [](HWND d) {
                    HWND list = GetDlgItem(d, 1002);
                    PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                    PostMessageW(list, WM_KEYUP, VK_ESCAPE, 0xC0010001);
                  }},
        CancelWay{"closeCommand", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        CancelWay{"closeMessage", [](HWND d) { PostMessageW(d, WM_CLOSE, 0, 0); }}),
    [](const auto& info) { return std::string(info.param.name); });

struct OpenDialog {
  std::wstring caption, title, prompt, renew, cancel;
  LOGFONTW dialogFont{}, titleFont{};
  LRESULT listStyles = 0;
  HWND focus = nullptr, list = nullptr;
  RECT bounds{}, work{};
  int itemCount = -1;
};

OpenDialog inspect(HWND dialog) {
  OpenDialog seen;
  seen.caption = windowText(dialog);
  seen.title = windowText(GetDlgItem(dialog, 1000));
  seen.prompt = windowText(GetDlgItem(dialog, 1001));
  seen.renew = windowText(GetDlgItem(dialog, IDOK));
  seen.cancel = windowText(GetDlgItem(dialog, IDCANCEL));
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(LOGFONTW), &seen.dialogFont);
  GetObjectW(reinterpret_cast<HFONT>(SendDlgItemMessageW(dialog, 1000, WM_GETFONT, 0, 0)), sizeof(LOGFONTW),
             &seen.titleFont);
  seen.list = GetDlgItem(dialog, 1002);
  seen.listStyles = SendMessageW(seen.list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  seen.itemCount = static_cast<int>(SendMessageW(seen.list, LVM_GETITEMCOUNT, 0, 0));
  seen.focus = GetFocus();
  GetWindowRect(dialog, &seen.bounds);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &info);
  seen.work = info.rcWork;
  return seen;
}

OpenDialog openAndInspect(IKorvelIE* control) {
  OpenDialog seen;
  auto run = runSignRenewal(control, [&](HWND dialog) {
    seen = inspect(dialog);
    cancelDialog(dialog);
  });
  EXPECT_TRUE(run.sawDialog);
  return seen;
}

TEST(Dialog, ShowsThePagesTextsAndItsOwn) {
  auto control = KorvelDll::instance().createControl();
  control->put_SelID_Title(UniqueBstr(makeBstr(L"証明書の更新")).get());
  control->put_SelID_Text(UniqueBstr(makeBstr(L"更新する証明書を選んでください")).get());
  OpenDialog seen = openAndInspect(control.get());
  EXPECT_EQ(seen.caption, L"証明書更新");
  EXPECT_EQ(seen.title, L"証明書の更新");
  EXPECT_EQ(seen.prompt, L"更新する証明書を選んでください");
  EXPECT_EQ(seen.renew, L"更新(R)");
  EXPECT_EQ(seen.cancel, L"キャンセル(A)");
  EXPECT_EQ(seen.listStyles, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  EXPECT_EQ(seen.focus, seen.list);
}

TEST(Dialog, TextsNeverSetShowAsEmptyLines) {
  auto control = KorvelDll::instance().createControl();
  OpenDialog seen = openAndInspect(control.get());
  EXPECT_EQ(seen.title, L"");
  EXPECT_EQ(seen.prompt, L"");
}

TEST(Dialog, TitleLineUsesABoldCopyOfTheDialogFont) {
  auto control = KorvelDll::instance().createControl();
  OpenDialog seen = openAndInspect(control.get());
  EXPECT_EQ(seen.titleFont.lfWeight, 700);
  EXPECT_EQ(seen.dialogFont.lfWeight, 400);
  EXPECT_EQ(seen.titleFont.lfHeight, seen.dialogFont.lfHeight);
  EXPECT_EQ(seen.titleFont.lfItalic, seen.dialogFont.lfItalic);
  EXPECT_EQ(seen.titleFont.lfCharSet, seen.dialogFont.lfCharSet);
  EXPECT_STREQ(seen.titleFont.lfFaceName, seen.dialogFont.lfFaceName);
}

TEST(Dialog, OpensCentredOnTheWorkArea) {
  auto control = KorvelDll::instance().createControl();
  OpenDialog seen = openAndInspect(control.get());
  const LONG w = seen.bounds.right - seen.bounds.left, h = seen.bounds.bottom - seen.bounds.top;
  ASSERT_GT(w, 0);
  EXPECT_EQ(seen.bounds.left, (seen.work.left + seen.work.right) / 2 - w / 2);
  EXPECT_EQ(seen.bounds.top, (seen.work.top + seen.work.bottom) / 2 - h / 2);
}

TEST(Dialog, CentresEvenWhenTheOwnerIsElsewhere) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 5, 7, 300, 200, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  SetActiveWindow(owner);
  auto control = KorvelDll::instance().createControl();
  bool ownerDisabled = false;
  HWND dialogOwner = nullptr;
  OpenDialog seen;
  runSignRenewal(control.get(), [&](HWND dialog) {
    seen = inspect(dialog);
    dialogOwner = GetWindow(dialog, GW_OWNER);
    ownerDisabled = !IsWindowEnabled(owner);
    cancelDialog(dialog);
  });
  EXPECT_EQ(dialogOwner, owner);
  EXPECT_TRUE(ownerDisabled);
  EXPECT_TRUE(IsWindowEnabled(owner));
  const LONG w = seen.bounds.right - seen.bounds.left;
  EXPECT_EQ(seen.bounds.left, (seen.work.left + seen.work.right) / 2 - w / 2);
  DestroyWindow(owner);
}

// Page script run by the modal loop may call SignRenewal again: it must not
// report success nor disturb the open dialog.
TEST(Dialog, NestedSignRenewalReportsNothingSigned) {
  auto control = KorvelDll::instance().createControl();
  ULONG nested = 0;
  HRESULT nestedHr = E_FAIL;
  bool stillOpen = false;
  auto run = runSignRenewal(control.get(), [&](HWND dialog) {
    nestedHr = control->SignRenewal(&nested);
    stillOpen = IsWindow(dialog) && IsWindowEnabled(dialog);
    cancelDialog(dialog);
  });
  EXPECT_EQ(nestedHr, S_OK);
  EXPECT_EQ(nested, 1u);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(run.result, 0x80001067u);
}

TEST(Dialog, PutsDuringTheDialogAreServed) {
  auto control = KorvelDll::instance().createControl();
  std::wstring titleShown;
  runSignRenewal(control.get(), [&](HWND dialog) {
    control->put_IssuerDN(UniqueBstr(makeBstr(L"changed")).get());
    control->put_SelID_Title(UniqueBstr(makeBstr(L"later")).get());
    titleShown = windowText(GetDlgItem(dialog, 1000));
    cancelDialog(dialog);
  });
  EXPECT_EQ(titleShown, L"");  // an open dialog keeps its texts
  EXPECT_EQ(get(control.get(), &IKorvelIE::get_IssuerDN), L"changed");
}

TEST(Dialog, RunsAgainOnTheSameControl) {
  auto control = KorvelDll::instance().createControl();
  for (int i = 0; i < 3; ++i) {
    auto run = runSignRenewal(control.get(), cancelDialog);
    EXPECT_TRUE(run.sawDialog);
    EXPECT_EQ(run.result, 0x80001067u);
  }
}

}  // namespace
