#pragma once
#include <windows.h>

namespace registration {

// One registry key handle, owned (closed on Close, on a new open and at
// destruction) or borrowed through Attach/Detach. Every operation returns
// the Win32 status of the registry call.
class CRegKeyHandle {
 public:
  CRegKeyHandle() = default;
  ~CRegKeyHandle() { Close(); }
  CRegKeyHandle(const CRegKeyHandle&) = delete;
  CRegKeyHandle& operator=(const CRegKeyHandle&) = delete;

  HKEY get() const { return key_; }

  LONG Open(HKEY parent, LPCWSTR name, REGSAM access);
  LONG Create(HKEY parent, LPCWSTR name);
  LONG Close();
  void Attach(HKEY key);
  HKEY Detach();

  bool HasSubKeys() const;
  LONG SetString(LPCWSTR valueName, LPCWSTR text);
  LONG SetDword(LPCWSTR valueName, DWORD number);
  // block: strings each ended by a null, the list ended by an empty string;
  // length in characters up to and including that empty string.
  LONG SetMultiString(LPCWSTR valueName, LPCWSTR block, size_t length);
  LONG SetBinary(LPCWSTR valueName, const BYTE* bytes, DWORD size);
  LONG DeleteValue(LPCWSTR valueName);
  // Removes an empty subkey.
  LONG DeleteSubKey(LPCWSTR name);
  // Removes a subkey with everything below it, depth first.
  LONG DeleteTree(LPCWSTR name);

 private:
  void keep(HKEY key, REGSAM access);

  HKEY key_ = nullptr;
  REGSAM view_ = 0;  // KEY_WOW64_64KEY / KEY_WOW64_32KEY of the open
};

// Lends a key that someone else owns to a CRegKeyHandle for its operations.
class BorrowedKey {
 public:
  explicit BorrowedKey(HKEY key) { handle_.Attach(key); }
  ~BorrowedKey() { handle_.Detach(); }
  BorrowedKey(const BorrowedKey&) = delete;
  BorrowedKey& operator=(const BorrowedKey&) = delete;
  CRegKeyHandle* operator->() { return &handle_; }

 private:
  CRegKeyHandle handle_;
};

}  // namespace registration
