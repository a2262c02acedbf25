// Test tool: runs a program under a debugger loop and prints every line it
// writes to the debugger output, then a final status line.
//   trace-capture program [arguments...]
// Output (UTF-8): "debug: <text>" per debug string (line feeds written as \n), the
// child's own output after "output:", and "trace-capture: exit N lines M".
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/tools/trace-capture/trace_capture.h"

namespace {

std::wstring quoted(const wchar_t* argument) {
  std::wstring text = L"\"";
  text += argument;
  text += L"\"";
  return text;
}

// The line as UTF-8, with line feeds shown as \n.
std::string visible(const std::wstring& line) {
  std::wstring shown;
  for (wchar_t c : line) shown += c == L'\n' ? std::wstring(L"\\n") : std::wstring(1, c);
  if (shown.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, shown.data(), static_cast<int>(shown.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string text(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, shown.data(), static_cast<int>(shown.size()), text.data(), size, nullptr,
                      nullptr);
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    fwprintf(stderr, L"usage: trace-capture program [arguments...]\n");
    return 2;
  }
  std::wstring command = quoted(argv[1]);
  for (int i = 2; i < argc; ++i) command += L" " + quoted(argv[i]);
  const trace_capture::Capture capture = trace_capture::runUnderDebugger(command);
  if (!capture.started) {
    printf("trace-capture: cannot start (error %lu)\n", GetLastError());
    return 1;
  }
  for (const auto& line : capture.lines) printf("debug: %s\n", visible(line).c_str());
  printf("output:\n%s", capture.output.c_str());
  printf("trace-capture: exit %lu lines %zu%s\n", capture.exitCode, capture.lines.size(),
         capture.timedOut ? " (stopped)" : "");
  return capture.exited && !capture.timedOut ? 0 : 1;
}
