// Child of the trace tests: opens the certificate dialog of a new control over
// whatever "MY" holds, reads how many rows it shows and cancels.
//   trace_child SERVER_SECONDS
// Prints "trace-child: rows N result 0xXXXXXXXX" when the dialog ran.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "framework/handles.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/korvel_dll.h"
#include "tests/support/wide_text.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fwprintf(stderr, L"usage: trace_child SERVER_SECONDS\n");
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int status = 1;
  {
    auto control = testing_support::KorvelDll::instance().createControl();
    if (control) {
      const std::wstring milliseconds = std::to_wstring(_wtoi64(argv[1]) * 1000);
      framework::UniqueBstr serverDate(testing_support::makeBstr(milliseconds));
      control->put_Server_Date(serverDate.get());
      LRESULT rows = -1;
      const auto run = testing_support::runSignRenewal(control.get(), [&](HWND dialog) {
        rows = SendMessageW(GetDlgItem(dialog, 1002), LVM_GETITEMCOUNT, 0, 0);
        testing_support::cancelDialog(dialog);
      });
      if (run.sawDialog && SUCCEEDED(run.hr)) {
        printf("trace-child: rows %ld result 0x%08lX\n", static_cast<long>(rows),
               static_cast<unsigned long>(run.result));
        status = 0;
      }
    }
  }
  CoUninitialize();
  fflush(stdout);
  return status;
}
