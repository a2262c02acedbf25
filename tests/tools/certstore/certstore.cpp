// Test tool: puts certificates into the current user's "MY" store of a Wine
// prefix, one command after another (one Wine process for a whole store).
//   certstore COMMAND [COMMAND...]
//   COMMAND: clear | add cert.der [--friendly NAME]
//            | add-pfx file.pfx password [--friendly NAME]
// Prints "certstore: ok" when every command succeeded (Wine's exit codes
// alone are not trusted); the first that fails ends the run.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/support/cert_store_setup.h"

namespace {

int usage() {
  fwprintf(stderr, L"usage: certstore COMMAND [COMMAND...]; COMMAND: clear | add cert.der [--friendly NAME] | "
                   L"add-pfx file.pfx password [--friendly NAME]\n");
  return 2;
}

int failed(HRESULT hr) {
  wprintf(L"certstore: failed 0x%08lX\n", static_cast<unsigned long>(hr));
  return 1;
}

// Runs the command at argv[*next] and moves *next past it. Returns 0, or the
// exit code for a failure or a malformed command.
int runCommand(int argc, wchar_t** argv, int* next) {
  const std::wstring command = argv[*next];
  if (command == L"clear") {
    ++*next;
    const HRESULT hr = testing_support::clearPersonalStore();
    return FAILED(hr) ? failed(hr) : 0;
  }
  const int fileArgs = command == L"add" ? 1 : command == L"add-pfx" ? 2 : 0;
  if (fileArgs == 0 || argc < *next + 1 + fileArgs) return usage();
  wchar_t* const* args = argv + *next + 1;
  *next += 1 + fileArgs;
  const std::wstring* friendly = nullptr;
  std::wstring friendlyName;
  if (*next < argc && std::wcscmp(argv[*next], L"--friendly") == 0) {
    if (*next + 1 >= argc) return usage();
    friendlyName = argv[*next + 1];
    friendly = &friendlyName;
    *next += 2;
  }
  const testing_support::Bytes bytes = testing_support::readFileBytes(args[0]);
  if (bytes.empty()) {
    fwprintf(stderr, L"certstore: cannot read %ls\n", args[0]);
    return 1;
  }
  const HRESULT hr = command == L"add" ? testing_support::addCertificate(bytes, friendly)
                                       : testing_support::addPfx(bytes, args[1], friendly);
  return FAILED(hr) ? failed(hr) : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return usage();
  for (int next = 1; next < argc;) {
    const int status = runCommand(argc, argv, &next);
    if (status != 0) return status;
  }
  wprintf(L"certstore: ok\n");
  return 0;
}
