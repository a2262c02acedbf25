#include "tests/tools/trace-capture/trace_capture.h"

#include "framework/handles.h"

namespace trace_capture {
namespace {

using framework::UniqueHandle;

// Reads the debug string of one OUTPUT_DEBUG_STRING event from the child.
// The length counts the terminating null; the text ends at the first null.
std::wstring readDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  const SIZE_T length = info.nDebugStringLength;
  if (length == 0 || info.lpDebugStringData == nullptr) return std::wstring();
  if (info.fUnicode) {
    std::wstring text(length, L'\0');
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, info.lpDebugStringData, text.data(), length * sizeof(wchar_t), &read))
      return std::wstring();
    text.resize(read / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
  }
  std::string bytes(length, '\0');
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, info.lpDebugStringData, bytes.data(), length, &read)) return std::wstring();
  bytes.resize(read);
  bytes.resize(bytes.find('\0') == std::string::npos ? bytes.size() : bytes.find('\0'));
  if (bytes.empty()) return std::wstring();
  const int count = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(count), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), count);
  return text;
}

// Closes the file handles that debug events hand to the debugger.
void closeEventFile(const DEBUG_EVENT& event) {
  HANDLE file = nullptr;
  if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) file = event.u.CreateProcessInfo.hFile;
  if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) file = event.u.LoadDll.hFile;
  if (file != nullptr && file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

struct PipeReader {
  HANDLE pipe;
  std::string* output;
};

// Collects everything written to the pipe until its last writer closes it.
DWORD WINAPI drainPipe(void* parameter) {
  const auto* reader = static_cast<const PipeReader*>(parameter);
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(reader->pipe, chunk, sizeof(chunk), &read, nullptr) && read > 0) reader->output->append(chunk, read);
  return 0;
}

// Runs the debug loop until the child exits or the limit passes.
void debugLoop(const PROCESS_INFORMATION& child, DWORD limitMs, Capture& capture) {
  const ULONGLONG deadline = GetTickCount64() + limitMs;
  bool firstBreakpointSeen = false;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    DEBUG_EVENT event{};
    const DWORD wait = now < deadline ? static_cast<DWORD>(deadline - now) : 5000;
    if (!WaitForDebugEvent(&event, wait)) {
      if (capture.timedOut) return;  // not even the exit came after terminating
      capture.timedOut = true;
      TerminateProcess(child.hProcess, 1);
      continue;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT:
        capture.lines.push_back(readDebugString(child.hProcess, event.u.DebugString));
        break;
      case EXCEPTION_DEBUG_EVENT:
        // The loader's breakpoint announces the debugger; everything else is
        // the child's own business.
        if (!firstBreakpointSeen && event.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT)
          firstBreakpointSeen = true;
        else
          status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        if (event.dwProcessId == child.dwProcessId) {
          capture.exited = true;
          capture.exitCode = event.u.ExitProcess.dwExitCode;
        }
        break;
      default:
        closeEventFile(event);
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    if (capture.exited) return;
  }
}

}  // namespace

Capture runUnderDebugger(const std::wstring& commandLine, DWORD limitMs) {
  Capture capture;
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  UniqueHandle readEnd;
  UniqueHandle writeEnd;
  if (!CreatePipe(readEnd.put(), writeEnd.put(), &inheritable, 0)) return capture;
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  std::wstring mutableCommand = commandLine;
  PROCESS_INFORMATION child{};
  if (!CreateProcessW(nullptr, mutableCommand.data(), nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                      nullptr, &startup, &child))
    return capture;
  capture.started = true;
  UniqueHandle process(child.hProcess);
  UniqueHandle thread(child.hThread);
  // Only the child holds the write end now: the reader ends with the child.
  writeEnd.reset();
  PipeReader pipeReader{readEnd.get(), &capture.output};
  UniqueHandle reader(CreateThread(nullptr, 0, drainPipe, &pipeReader, 0, nullptr));
  if (!reader) {
    TerminateProcess(child.hProcess, 1);
    capture.started = false;
    return capture;
  }

  debugLoop(child, limitMs, capture);
  if (!capture.exited) {
    DebugActiveProcessStop(child.dwProcessId);
    TerminateProcess(child.hProcess, 1);
  }
  WaitForSingleObject(reader.get(), INFINITE);
  return capture;
}

}  // namespace trace_capture
