#include "registration/reg_key.h"

#include <oleauto.h>

#include <utility>

#include "framework/handles.h"

namespace registration {
namespace {

constexpr REGSAM kViewMask = KEY_WOW64_64KEY | KEY_WOW64_32KEY;
constexpr DWORD kSubKeyNameSize = 256;

using DeleteKeyExFunction = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

// RegDeleteKeyExW where the system has it. Looked up on every call: a
// function-local static would take the C++ runtime's guard lock, whose
// handle the runtime never closes when the DLL is unloaded.
DeleteKeyExFunction deleteKeyEx() {
  HMODULE advapi = GetModuleHandleW(L"Advapi32.dll");
  if (advapi == nullptr) return nullptr;
  return reinterpret_cast<DeleteKeyExFunction>(reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")));
}

DWORD byteSize(size_t characters) { return static_cast<DWORD>(characters * sizeof(wchar_t)); }

HKEY hkey(text::KeyRef key) { return static_cast<HKEY>(key); }

REGSAM accessRights(text::KeyAccess access) {
  switch (access) {
    case text::KeyAccess::read:
      return KEY_READ;
    case text::KeyAccess::write:
      return KEY_WRITE;
    case text::KeyAccess::readWrite:
      break;
  }
  return KEY_READ | KEY_WRITE;
}

HKEY predefinedKey(text::RootKey key) {
  switch (key) {
    case text::RootKey::classesRoot:
      return HKEY_CLASSES_ROOT;
    case text::RootKey::currentUser:
      return HKEY_CURRENT_USER;
    case text::RootKey::localMachine:
      return HKEY_LOCAL_MACHINE;
    case text::RootKey::users:
      return HKEY_USERS;
    case text::RootKey::performanceData:
      return HKEY_PERFORMANCE_DATA;
    case text::RootKey::dynData:
      return HKEY_DYN_DATA;
    case text::RootKey::currentConfig:
      break;
  }
  return HKEY_CURRENT_CONFIG;
}

}  // namespace

void CRegKeyHandle::keep(HKEY key, REGSAM access) {
  Close();
  key_ = key;
  view_ = access & kViewMask;
}

LONG CRegKeyHandle::Open(HKEY parent, LPCWSTR name, REGSAM access) {
  framework::UniqueKey opened;
  LONG status = RegOpenKeyExW(parent, name, 0, access, opened.put());
  if (status == ERROR_SUCCESS) keep(opened.release(), access);
  return status;
}

LONG CRegKeyHandle::Create(HKEY parent, LPCWSTR name) {
  framework::UniqueKey created;
  LONG status = RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                nullptr, created.put(), nullptr);
  if (status == ERROR_SUCCESS) keep(created.release(), KEY_READ | KEY_WRITE);
  return status;
}

LONG CRegKeyHandle::Close() {
  HKEY key = std::exchange(key_, nullptr);
  view_ = 0;
  return key != nullptr ? RegCloseKey(key) : ERROR_SUCCESS;
}

void CRegKeyHandle::Attach(HKEY key) {
  Close();
  key_ = key;
}

HKEY CRegKeyHandle::Detach() {
  view_ = 0;
  return std::exchange(key_, nullptr);
}

bool CRegKeyHandle::HasSubKeys() const {
  DWORD subKeys = 0;
  LONG status = RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                                 nullptr, nullptr, nullptr, nullptr);
  return status == ERROR_SUCCESS && subKeys > 0;
}

LONG CRegKeyHandle::SetString(LPCWSTR valueName, LPCWSTR text) {
  return RegSetValueExW(key_, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        byteSize(lstrlenW(text) + 1));
}

LONG CRegKeyHandle::SetDword(LPCWSTR valueName, DWORD number) {
  return RegSetValueExW(key_, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

LONG CRegKeyHandle::SetMultiString(LPCWSTR valueName, LPCWSTR block, size_t length) {
  return RegSetValueExW(key_, valueName, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(block), byteSize(length));
}

LONG CRegKeyHandle::SetBinary(LPCWSTR valueName, const BYTE* bytes, DWORD size) {
  return RegSetValueExW(key_, valueName, 0, REG_BINARY, bytes, size);
}

LONG CRegKeyHandle::DeleteValue(LPCWSTR valueName) { return RegDeleteValueW(key_, valueName); }

LONG CRegKeyHandle::DeleteSubKey(LPCWSTR name) {
  if (DeleteKeyExFunction function = deleteKeyEx()) return function(key_, name, view_, 0);
  return RegDeleteKeyW(key_, name);
}

LONG CRegKeyHandle::DeleteTree(LPCWSTR name) {
  CRegKeyHandle subKey;
  LONG status = subKey.Open(key_, name, KEY_READ | KEY_WRITE | view_);
  if (status != ERROR_SUCCESS) return status;
  for (;;) {
    wchar_t child[kSubKeyNameSize];
    DWORD childLength = kSubKeyNameSize;
    if (RegEnumKeyExW(subKey.get(), 0, child, &childLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    status = subKey.DeleteTree(child);
    if (status != ERROR_SUCCESS) return status;
  }
  subKey.Close();
  return DeleteSubKey(name);
}

text::KeyRef RegistryKeyLayer::root(text::RootKey key) { return predefinedKey(key); }

text::KeyStatus RegistryKeyLayer::openKey(text::KeyRef parent, const char16_t* name, text::KeyAccess access,
                                          text::KeyRef* key) {
  CRegKeyHandle opened;
  LONG status = opened.Open(hkey(parent), wide(name), accessRights(access));
  if (status == ERROR_SUCCESS) *key = opened.Detach();
  return status;
}

text::KeyStatus RegistryKeyLayer::createKey(text::KeyRef parent, const char16_t* name, text::KeyRef* key) {
  CRegKeyHandle created;
  LONG status = created.Create(hkey(parent), wide(name));
  if (status == ERROR_SUCCESS) *key = created.Detach();
  return status;
}

text::KeyStatus RegistryKeyLayer::closeKey(text::KeyRef key) { return RegCloseKey(hkey(key)); }

bool RegistryKeyLayer::hasSubKeys(text::KeyRef key) { return BorrowedKey(hkey(key))->HasSubKeys(); }

text::KeyStatus RegistryKeyLayer::setString(text::KeyRef key, const char16_t* valueName, const char16_t* text) {
  return BorrowedKey(hkey(key))->SetString(wide(valueName), wide(text));
}

text::KeyStatus RegistryKeyLayer::setMultiString(text::KeyRef key, const char16_t* valueName,
                                                 const char16_t* block, size_t length) {
  return BorrowedKey(hkey(key))->SetMultiString(wide(valueName), wide(block), length);
}

text::KeyStatus RegistryKeyLayer::setDword(text::KeyRef key, const char16_t* valueName, uint32_t number) {
  return BorrowedKey(hkey(key))->SetDword(wide(valueName), number);
}

text::KeyStatus RegistryKeyLayer::setBinary(text::KeyRef key, const char16_t* valueName, const uint8_t* bytes,
                                            size_t size) {
  return BorrowedKey(hkey(key))->SetBinary(wide(valueName), bytes, static_cast<DWORD>(size));
}

text::KeyStatus RegistryKeyLayer::deleteValue(text::KeyRef key, const char16_t* valueName) {
  return BorrowedKey(hkey(key))->DeleteValue(wide(valueName));
}

text::KeyStatus RegistryKeyLayer::deleteSubKey(text::KeyRef key, const char16_t* name) {
  return BorrowedKey(hkey(key))->DeleteSubKey(wide(name));
}

text::KeyStatus RegistryKeyLayer::deleteTree(text::KeyRef key, const char16_t* name) {
  return BorrowedKey(hkey(key))->DeleteTree(wide(name));
}

text::Status RegistryKeyLayer::numberFromText(const char16_t* text, uint32_t* number) {
  ULONG converted = 0;
  HRESULT hr = VarUI4FromStr(const_cast<LPOLESTR>(wide(text)), 0, 0, &converted);
  if (SUCCEEDED(hr)) *number = converted;
  return hr;
}

}  // namespace registration
