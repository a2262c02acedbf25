#include "tests/registration/process_runner.h"

#include <vector>

#include "framework/handles.h"

namespace registration_tests {

std::string runProcess(const std::wstring& commandLine) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return "(no pipe)";
  framework::UniqueHandle reader(readEnd);
  framework::UniqueHandle writer(writeEnd);
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writer.get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(0);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    return "(not started)";
  }
  framework::UniqueHandle processHandle(process.hProcess);
  framework::UniqueHandle threadHandle(process.hThread);
  writer.reset();

  std::string output;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(reader.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) output.append(buffer, read);
  WaitForSingleObject(processHandle.get(), INFINITE);
  return output;
}

}  // namespace registration_tests
