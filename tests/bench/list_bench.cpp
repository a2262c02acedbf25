// Benchmark of the certificate list (not a test): list building with the
// first sort, one header-click sort, and the bare store enumeration with the
// same name and serial calls, over whatever "MY" holds.
//   list_bench fill FILE.der      clears "MY" and adds every certificate of
//                                 FILE (DER certificates one after another)
//   list_bench run SERVER_SECONDS [REPEATS]
// `run` prints one line: N rows open click enumeration checks store (ms, medians
// over REPEATS runs, each on a new control). "open" runs from the creation of
// the dialog window to the first timer tick of its modal loop: the controls,
// OnInitDialog with list building and the first sort.
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

// When this thread's dialog window was created. A CBT hook is called only
// for window events: hooks on every message (WH_CALLWNDPROC) would make each
// message of list building a round trip to the wineserver and slow it down.
thread_local double dialogCreated = 0;

LRESULT CALLBACK onWindowEvent(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && dialogCreated == 0) {
    wchar_t className[16] = {};
    GetClassNameW(reinterpret_cast<HWND>(wParam), className, 16);
    if (std::wcscmp(className, L"#32770") == 0) dialogCreated = nowMs();
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
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

  dialogCreated = 0;
  HHOOK hook = SetWindowsHookExW(WH_CBT, onWindowEvent, nullptr, GetCurrentThreadId());
  testing_support::runSignRenewal(control.get(), [&](HWND dialog) {
    // The first timer tick of the modal loop: the dialog is initialised.
    figures.buildAndSort = nowMs() - dialogCreated;
    UnhookWindowsHookEx(hook);
    hook = nullptr;
    HWND list = GetDlgItem(dialog, 1002);
    figures.rows = static_cast<long>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    const double start = nowMs();
    testing_support::clickColumn(dialog, list, 0);  // name, descending
    figures.click = nowMs() - start;
    testing_support::cancelDialog(dialog);
  });
  if (hook != nullptr) UnhookWindowsHookEx(hook);
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
  korvel::TextBuffer text = korvel::newTextBuffer();
  while (text && store && korvel::nextCertificate(store.get(), certificate)) {
    korvel::subjectName(certificate.get(), text.get());
    characters += wcslen(text.get());
    korvel::friendlyName(certificate.get(), text.get());
    characters += wcslen(text.get());
    korvel::serialText(certificate.get(), text.get());
    characters += wcslen(text.get());
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

// Opening and closing the store alone.
double timeStoreOpen() {
  const double start = nowMs();
  framework::UniqueCertStore store = korvel::openPersonalStore();
  store.reset();
  return nowMs() - start;
}

int run(int64_t serverTime, int repeats) {
  std::vector<double> build, click, enumeration, checks, open;
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
    open.push_back(timeStoreOpen());
  }
  printf("%zu %ld %.1f %.1f %.1f %.1f %.1f\n", count, rows, median(build), median(click), median(enumeration),
         median(checks), median(open));
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
