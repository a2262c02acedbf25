// close-dialog [COUNT] [TIMEOUT_SECONDS]
// Waits for top-level dialogs (class "#32770") captioned "証明書更新", cancels
// each one by posting WM_COMMAND IDCANCEL, and waits until it is gone before
// looking for the next. Ends after COUNT dialogs (default 1) or when the
// timeout (default 60 s) runs out, printing the two text lines of each
// dialog (controls 1000 and 1001; other than printable ASCII as \uXXXX)
// and then "closed N of COUNT".
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kCaption[] = L"\u8A3C\u660E\u66F8\u66F4\u65B0";
constexpr DWORD kPollMilliseconds = 20;

bool timedOut(ULONGLONG deadline) { return GetTickCount64() >= deadline; }

HWND waitForDialog(ULONGLONG deadline) {
  while (!timedOut(deadline)) {
    HWND dialog = FindWindowW(kDialogClass, kCaption);
    if (dialog != nullptr && IsWindowVisible(dialog)) return dialog;
    Sleep(kPollMilliseconds);
  }
  return nullptr;
}

bool waitUntilGone(HWND dialog, ULONGLONG deadline) {
  while (!timedOut(deadline)) {
    if (!IsWindow(dialog)) return true;
    Sleep(kPollMilliseconds);
  }
  return false;
}

constexpr int kTitleLine = 1000;
constexpr int kPromptLine = 1001;

// The text of a dialog control, printable ASCII kept and the rest escaped.
std::string controlText(HWND dialog, int id) {
  wchar_t text[1024] = {};
  GetDlgItemTextW(dialog, id, text, ARRAYSIZE(text));
  std::string printed;
  for (const wchar_t* c = text; *c != 0; ++c) {
    if (*c >= 0x20 && *c < 0x7F) {
      printed += static_cast<char>(*c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(*c));
      printed += escape;
    }
  }
  return printed;
}

unsigned long numberArgument(int argc, wchar_t** argv, int index, unsigned long fallback) {
  if (argc <= index) return fallback;
  wchar_t* end = nullptr;
  unsigned long value = std::wcstoul(argv[index], &end, 10);
  return (end != argv[index] && *end == 0 && value > 0) ? value : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  unsigned long count = numberArgument(argc, argv, 1, 1);
  unsigned long timeoutSeconds = numberArgument(argc, argv, 2, 60);
  if (count == 0 || timeoutSeconds == 0 || argc > 3) {
    std::puts("usage: close-dialog [COUNT] [TIMEOUT_SECONDS]");
    return 2;
  }
  const ULONGLONG deadline = GetTickCount64() + 1000ull * timeoutSeconds;
  unsigned long closed = 0;
  while (closed < count) {
    HWND dialog = waitForDialog(deadline);
    if (dialog == nullptr) break;
    std::printf("dialog %lu: [%s] [%s]\n", closed + 1, controlText(dialog, kTitleLine).c_str(),
                controlText(dialog, kPromptLine).c_str());
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    if (!waitUntilGone(dialog, deadline)) break;
    ++closed;
  }
  std::printf("closed %lu of %lu\n", closed, count);
  std::fflush(stdout);
  return closed == count ? 0 : 1;
}
