// Benchmark of the certificate list (not a test): list building with the
// first sort, one header-click sort, and the bare store enumeration with the
// same name and serial calls, over whatever "MY" holds.
//   list_bench fill FILE.der      clears "MY" and adds every certificate of
//                                 FILE (DER certificates one after another)
//   list_bench run SERVER_SECONDS [REPEATS]
// `run` prints one line: N rows build+sort click enumeration checks (ms,
// medians over REPEATS runs, each on a new control).
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "signing/certificate_store.h"
#include "signing/eligibility_checks.h"
#include "tests/support/cert_store_setup.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/korvel_dll.h"
#include "tests/support/wide_text.h"

namespace {

double nowMs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / frequency;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

// ---- fill ----------------------------------------------------------------

// The length of the DER element at `data` (tag, length, content), or 0.
size_t derElementLength(const BYTE* data, size_t size) {
  if (size < 2) return 0;
  const BYTE first = data[1];
  if (first < 0x80) return 2 + first;
  const size_t count = first & 0x7F;
  if (count == 0 || count > 4 || size < 2 + count) return 0;
  size_t length = 0;
  for (size_t i = 0; i < count; ++i) length = (length << 8) | data[2 + i];
  return 2 + count + length;
}

int fill(const wchar_t* path) {
  const testing_support::Bytes bytes = testing_support::readFileBytes(path);
  if (bytes.empty()) {
    fwprintf(stderr, L"list_bench: cannot read %ls\n", path);
    return 1;
  }
  if (FAILED(testing_support::clearPersonalStore())) return 1;
  const double start = nowMs();
  framework::UniqueCertStore store(CertOpenSystemStoreW(0, L"MY"));
  if (!store) return 1;
  size_t added = 0;
  for (size_t offset = 0; offset < bytes.size();) {
    const size_t length = derElementLength(bytes.data() + offset, bytes.size() - offset);
    if (length == 0 || offset + length > bytes.size()) break;
    if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, bytes.data() + offset,
                                          static_cast<DWORD>(length), CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
      fwprintf(stderr, L"list_bench: adding certificate %zu failed: 0x%08lX\n", added, GetLastError());
      return 1;
    }
    offset += length;
    ++added;
  }
  CertControlStore(store.get(), CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT, nullptr);
  store.reset();
  printf("list_bench: added %zu in %.0f ms\n", added, nowMs() - start);
  return 0;
}

// ---- run -----------------------------------------------------------------

// Times WM_INITDIALOG of this thread's dialog: from the moment the dialog
// procedure receives it to the moment it returns. That is centring, texts,
// columns, rows and the first sort.
struct InitTiming {
  double start = 0;
  double end = 0;
};
thread_local InitTiming initTiming;

LRESULT CALLBACK beforeMessage(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && message->message == WM_INITDIALOG) initTiming.start = nowMs();
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK afterMessage(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && message->message == WM_INITDIALOG) initTiming.end = nowMs();
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void clickColumn(HWND dialog, HWND list, int column) {
  NMLISTVIEW click{};
  click.hdr.hwndFrom = list;
  click.hdr.idFrom = 1002;
  click.hdr.code = LVN_COLUMNCLICK;
  click.iItem = -1;
  click.iSubItem = column;
  SendMessageW(dialog, WM_NOTIFY, 1002, reinterpret_cast<LPARAM>(&click));
}

struct DialogFigures {
  long rows = -1;
  double buildAndSort = 0;
  double click = 0;
};

DialogFigures timeDialog(int64_t serverTime) {
  DialogFigures figures;
  auto control = testing_support::KorvelDll::instance().createControl();
  if (!control) return figures;
  framework::UniqueBstr date(testing_support::makeBstr(std::to_wstring(serverTime * 1000)));
  control->put_Server_Date(date.get());

  const DWORD thread = GetCurrentThreadId();
  HHOOK before = SetWindowsHookExW(WH_CALLWNDPROC, beforeMessage, nullptr, thread);
  HHOOK after = SetWindowsHookExW(WH_CALLWNDPROCRET, afterMessage, nullptr, thread);
  initTiming = InitTiming{};
  testing_support::runSignRenewal(control.get(), [&](HWND dialog) {
    HWND list = GetDlgItem(dialog, 1002);
    figures.rows = static_cast<long>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    const double start = nowMs();
    clickColumn(dialog, list, 0);  // name, descending
    figures.click = nowMs() - start;
    testing_support::cancelDialog(dialog);
  });
  UnhookWindowsHookEx(after);
  UnhookWindowsHookEx(before);
  figures.buildAndSort = initTiming.end - initTiming.start;
  return figures;
}

// The store pass of list building without the list: the same open, the same
// enumeration and the same name and serial routines for every certificate.
double timeEnumeration(size_t& count) {
  const double start = nowMs();
  framework::UniqueCertStore store = korvel::openPersonalStore();
  framework::UniqueCertContext certificate;
  size_t characters = 0;
  count = 0;
  while (store && korvel::nextCertificate(store.get(), certificate)) {
    characters += korvel::subjectName(certificate.get()).size();
    characters += korvel::friendlyName(certificate.get()).size();
    characters += korvel::serialText(certificate.get()).size();
    ++count;
  }
  const double elapsed = nowMs() - start;
  if (characters == 0 && count > 0) fprintf(stderr, "list_bench: no texts?\n");
  return elapsed;
}

// The same pass with only the two eligibility checks (with their trace lines).
double timeChecks() {
  const double start = nowMs();
  framework::UniqueCertStore store = korvel::openPersonalStore();
  framework::UniqueCertContext certificate;
  while (store && korvel::nextCertificate(store.get(), certificate)) {
    if (korvel::checkValueDoor(certificate.get()) != 1) korvel::checkSymantecPrivate(certificate.get());
  }
  return nowMs() - start;
}

int run(int64_t serverTime, int repeats) {
  std::vector<double> build, click, enumeration, checks;
  long rows = -1;
  size_t count = 0;
  for (int i = 0; i < repeats; ++i) {
    const DialogFigures figures = timeDialog(serverTime);
    if (figures.rows < 0) {
      fprintf(stderr, "list_bench: the dialog did not open\n");
      return 1;
    }
    rows = figures.rows;
    build.push_back(figures.buildAndSort);
    click.push_back(figures.click);
    enumeration.push_back(timeEnumeration(count));
    checks.push_back(timeChecks());
  }
  printf("%zu %ld %.1f %.1f %.1f %.1f\n", count, rows, median(build), median(click), median(enumeration),
         median(checks));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"fill") == 0) return fill(argv[2]);
  if ((argc == 3 || argc == 4) && std::wcscmp(argv[1], L"run") == 0) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    const int repeats = argc == 4 ? std::max(1, _wtoi(argv[3])) : 3;
    const int status = run(_wtoi64(argv[2]), repeats);
    CoUninitialize();
    return status;
  }
  fwprintf(stderr, L"usage: list_bench fill FILE.der | list_bench run SERVER_SECONDS [REPEATS]\n");
  return 2;
}
