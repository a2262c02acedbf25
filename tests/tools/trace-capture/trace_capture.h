#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Test tool: runs a program as the debuggee of this process and collects what
// it writes to the debugger output (OutputDebugStringW / OutputDebugStringA),
// line by line as the debugger receives it.
namespace trace_capture {

struct Capture {
  bool started = false;   // the child was created under the debugger
  bool exited = false;    // its exit was seen
  bool timedOut = false;  // it had to be stopped
  DWORD exitCode = 0;
  std::vector<std::wstring> lines;  // every debug string, in order, as sent
  std::string output;               // the child's standard output and error
};

// Runs `commandLine` until it exits, or at most `limitMs` after which it is
// terminated. The child inherits this process's environment and prefix.
Capture runUnderDebugger(const std::wstring& commandLine, DWORD limitMs = 60000);

}  // namespace trace_capture
