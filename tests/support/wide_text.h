#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

namespace testing_support {

// UTF-8 for test messages.
std::string utf8(const std::wstring& text);

// A new BSTR holding `text` (embedded nulls included).
BSTR makeBstr(const std::wstring& text);

}  // namespace testing_support
