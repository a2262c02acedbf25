#include "tools/pagehost/host_output.h"

#include <objbase.h>

namespace {

bool tracing = false;

void writeLine(DWORD standardHandle, const std::wstring& text) {
  std::wstring line = text + L"\n";
  int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr,
                                 nullptr);
  if (size <= 0) return;
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &bytes[0], size, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(standardHandle), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void printLine(const std::wstring& text) { writeLine(STD_OUTPUT_HANDLE, text); }

void printError(const std::wstring& text) { writeLine(STD_ERROR_HANDLE, L"pagehost: " + text); }

void enableTrace() { tracing = true; }

void trace(const std::wstring& text) {
  if (tracing) writeLine(STD_ERROR_HANDLE, L"pagehost trace: " + text);
}

std::wstring hexText(ULONG value) {
  wchar_t text[16];
  wsprintfW(text, L"0x%08lX", value);
  return text;
}

std::wstring guidText(REFGUID guid) {
  wchar_t text[40] = L"";
  StringFromGUID2(guid, text, 40);
  return text;
}
