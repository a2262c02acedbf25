#include "tests/support/dialog_driver.h"

#include <commctrl.h>

#include <vector>

namespace testing_support {
namespace {

struct DriverState {
  const std::function<void(HWND)>* onOpen = nullptr;
  bool called = false;
  int ticks = 0;
};
thread_local DriverState driver;

BOOL CALLBACK findDialog(HWND window, LPARAM found) {
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  if (wcscmp(className, L"#32770") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void CALLBACK onTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  // Give up after about 10 s rather than leave a test hanging.
  if (driver.called || ++driver.ticks > 1000) {
    KillTimer(nullptr, timer);
    return;
  }
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr) return;
  driver.called = true;
  KillTimer(nullptr, timer);
  (*driver.onOpen)(dialog);
}

}  // namespace

DialogRun runSignRenewal(IKorvelIE* control, const std::function<void(HWND)>& onOpen) {
  driver = DriverState{&onOpen, false, 0};
  UINT_PTR timer = SetTimer(nullptr, 0, 10, onTimer);
  DialogRun run;
  run.hr = control->SignRenewal(&run.result);
  run.sawDialog = driver.called;
  if (!driver.called) KillTimer(nullptr, timer);
  driver = DriverState{};
  return run;
}

void cancelDialog(HWND dialog) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); }

void clickColumn(HWND dialog, HWND list, int column) {
  NMLISTVIEW click{};
  click.hdr.hwndFrom = list;
  click.hdr.idFrom = 1002;
  click.hdr.code = LVN_COLUMNCLICK;
  click.iItem = -1;
  click.iSubItem = column;
  SendMessageW(dialog, WM_NOTIFY, 1002, reinterpret_cast<LPARAM>(&click));
}

std::wstring windowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

std::wstring listText(HWND list, int item, int column) {
  std::vector<wchar_t> text(8192, L'\0');
  LVITEMW entry{};
  entry.iSubItem = column;
  entry.pszText = text.data();
  entry.cchTextMax = 8192;
  SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&entry));
  return text.data();
}

}  // namespace testing_support
