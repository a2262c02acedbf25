// start-hidden TIMEOUT_SECONDS PROGRAM [ARGUMENTS...]
// Starts PROGRAM the way a browser starts its native messaging host: with
// STARTF_USESHOWWINDOW and SW_HIDE, and this process's standard handles.
// Waits for it and exits with its exit code, or stops it after the timeout
// and exits 124.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitTimedOut = 124;
constexpr int kExitNotStarted = 125;

// The rest of this program's command line after its first two arguments, as typed.
const wchar_t* programCommandLine() {
  const wchar_t* line = GetCommandLineW();
  for (int skipped = 0; skipped < 2 && *line != L'\0'; ++skipped) {
    bool quoted = false;
    while (*line != L'\0' && (quoted || (*line != L' ' && *line != L'\t'))) {
      if (*line == L'"') quoted = !quoted;
      ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
  }
  return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    fwprintf(stderr, L"usage: start-hidden TIMEOUT_SECONDS PROGRAM [ARGUMENTS...]\n");
    return kExitUsage;
  }
  const DWORD timeout = static_cast<DWORD>(wcstoul(argv[1], nullptr, 10)) * 1000;
  std::wstring commandLine = programCommandLine();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    fwprintf(stderr, L"start-hidden: cannot start %ls: %lu\n", commandLine.c_str(), GetLastError());
    return kExitNotStarted;
  }
  CloseHandle(process.hThread);
  DWORD exitCode = kExitTimedOut;
  if (WaitForSingleObject(process.hProcess, timeout) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &exitCode);
  } else {
    TerminateProcess(process.hProcess, kExitTimedOut);
  }
  CloseHandle(process.hProcess);
  return static_cast<int>(exitCode);
}
