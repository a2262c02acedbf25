#pragma once
#include <windows.h>

#include "registration/text/key_layer.h"

namespace registration {

// Converts between the two spellings of UTF-16 text on Windows.
inline LPCWSTR wide(const char16_t* text) { return reinterpret_cast<LPCWSTR>(text); }
inline const char16_t* utf16(LPCWSTR text) { return reinterpret_cast<const char16_t*>(text); }

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

// The script reader's keys on the real registry: layer keys are HKEYs.
class RegistryKeyLayer : public text::KeyLayer {
 public:
  text::KeyRef root(text::RootKey key) override;
  text::KeyStatus openKey(text::KeyRef parent, const char16_t* name, text::KeyAccess access,
                          text::KeyRef* key) override;
  text::KeyStatus createKey(text::KeyRef parent, const char16_t* name, text::KeyRef* key) override;
  text::KeyStatus closeKey(text::KeyRef key) override;
  bool hasSubKeys(text::KeyRef key) override;
  text::KeyStatus setString(text::KeyRef key, const char16_t* valueName, const char16_t* text) override;
  text::KeyStatus setMultiString(text::KeyRef key, const char16_t* valueName, const char16_t* block,
                                 size_t length) override;
  text::KeyStatus setDword(text::KeyRef key, const char16_t* valueName, uint32_t number) override;
  text::KeyStatus setBinary(text::KeyRef key, const char16_t* valueName, const uint8_t* bytes,
                            size_t size) override;
  text::KeyStatus deleteValue(text::KeyRef key, const char16_t* valueName) override;
  text::KeyStatus deleteSubKey(text::KeyRef key, const char16_t* name) override;
  text::KeyStatus deleteTree(text::KeyRef key, const char16_t* name) override;
  text::Status numberFromText(const char16_t* text, uint32_t* number) override;
};

}  // namespace registration
