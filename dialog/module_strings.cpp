#include "dialog/module_strings.h"

#include "dialog/korvel_dlg.h"

std::wstring loadModuleString(UINT id) {
  const wchar_t* text = nullptr;
  // A length of 0 asks for a read-only pointer into the resource itself.
  int length = LoadStringW(korvelModuleInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return std::wstring();
  return std::wstring(text, static_cast<size_t>(length));
}
