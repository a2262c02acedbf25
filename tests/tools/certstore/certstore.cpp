// Test tool: puts certificates into the current user's "MY" store of a Wine
// prefix.
//   certstore clear
//   certstore add cert.der [--friendly NAME]
//   certstore add-pfx file.pfx password [--friendly NAME]
// Prints "certstore: ok" on success (Wine's exit codes alone are not trusted).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/support/cert_store_setup.h"

namespace {

int usage() {
  fwprintf(stderr, L"usage: certstore clear | add cert.der [--friendly NAME] | "
                   L"add-pfx file.pfx password [--friendly NAME]\n");
  return 2;
}

int report(HRESULT hr) {
  if (FAILED(hr)) {
    wprintf(L"certstore: failed 0x%08lX\n", static_cast<unsigned long>(hr));
    return 1;
  }
  wprintf(L"certstore: ok\n");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return usage();
  const std::wstring command = argv[1];
  if (command == L"clear") return report(testing_support::clearPersonalStore());

  const int fileArgs = command == L"add" ? 1 : command == L"add-pfx" ? 2 : 0;
  if (fileArgs == 0 || argc < 2 + fileArgs) return usage();
  std::wstring friendly;
  bool hasFriendly = false;
  const int rest = 2 + fileArgs;
  if (argc == rest + 2 && std::wcscmp(argv[rest], L"--friendly") == 0) {
    friendly = argv[rest + 1];
    hasFriendly = true;
  } else if (argc != rest) {
    return usage();
  }
  const testing_support::Bytes bytes = testing_support::readFileBytes(argv[2]);
  if (bytes.empty()) {
    fwprintf(stderr, L"certstore: cannot read %ls\n", argv[2]);
    return 1;
  }
  if (command == L"add")
    return report(testing_support::addCertificate(bytes, hasFriendly ? &friendly : nullptr));
  return report(testing_support::addPfx(bytes, argv[3], hasFriendly ? &friendly : nullptr));
}
