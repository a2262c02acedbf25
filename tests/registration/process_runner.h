#pragma once
#include <windows.h>

#include <string>

namespace registration_tests {

// Runs a command line, waits for it to end and returns what it wrote to its
// standard output. Exit codes under Wine are not trusted; callers check the
// output or the registry.
std::string runProcess(const std::wstring& commandLine);

}  // namespace registration_tests
