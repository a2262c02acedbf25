#pragma once
#include <windows.h>

#include <string>

#include "framework/com_module.h"
#include "framework/handles.h"

namespace framework {

// Reads a whole file (up to 64 MiB) into bytes.
inline HRESULT readFileBytes(const std::wstring& path, std::string* bytes) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return hresultFromLastError();
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) return hresultFromLastError();
  if (size.QuadPart > 64 * 1024 * 1024) return E_OUTOFMEMORY;
  bytes->resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes->empty() && !ReadFile(file.get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr)) {
    return hresultFromLastError();
  }
  bytes->resize(read);
  return S_OK;
}

}  // namespace framework
