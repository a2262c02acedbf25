#include "registration/reg_object.h"

#include <memory>
#include <new>
#include <vector>

#include "framework/com_module.h"
#include "framework/handles.h"
#include "registration/reg_key.h"

bool perUserRegistration = false;

namespace registration {
namespace {

using text::equalsIgnoringCase;
using text::kTokenBufferSize;

struct RootKey {
  const char* name;
  HKEY key;
};

const RootKey kRootKeys[] = {
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKU", HKEY_USERS},
    {"HKPD", HKEY_PERFORMANCE_DATA},
    {"HKDD", HKEY_DYN_DATA},
    {"HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

HKEY rootKeyNamed(const char16_t* name) {
  for (const RootKey& root : kRootKeys) {
    if (equalsIgnoringCase(name, root.name)) return root.key;
  }
  return nullptr;
}

bool isBlockStart(const char16_t* token) { return token[0] == u'{' && token[1] == 0; }
bool isBlockEnd(const char16_t* token) { return token[0] == u'}'; }
bool isAssignment(const char16_t* token) { return token[0] == u'='; }

HRESULT fromStatus(LONG status) { return framework::hresultFromStatus(status); }

}  // namespace

// Buffers of one nesting level: a value name (or key name) and a value.
struct CRegScriptReader::LevelBuffers {
  char16_t name[kTokenBufferSize];
  char16_t value[kTokenBufferSize];
};

CRegObject::~CRegObject() { ClearVariables(); }

HRESULT STDMETHODCALLTYPE CRegObject::QueryInterface(REFIID, void**) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CRegObject::AddVariable(LPCWSTR name, LPCWSTR value) {
  if (name == nullptr || value == nullptr) return E_INVALIDARG;
  try {
    names_.emplace_back(name);
    try {
      values_.emplace_back(value);
    } catch (...) {
      names_.pop_back();
      throw;
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRegObject::ClearVariables() {
  names_.clear();
  values_.clear();
  return S_OK;
}

namespace {

// One UTF-16 code unit in upper case by the invariant locale's table: the
// same answer whatever the user's language.
wchar_t upperInvariant(wchar_t c) {
  wchar_t upper = c;
  return LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &c, 1, &upper, 1) == 1 ? upper : c;
}

// Code unit by code unit after upper-casing each: an ordinal comparison
// that ignores case, as variable names are compared.
bool equalNamesIgnoringCase(const std::wstring& name, LPCWSTR other, size_t length) {
  if (name.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (name[i] != other[i] && upperInvariant(name[i]) != upperInvariant(other[i])) return false;
  }
  return true;
}

}  // namespace

LPCWSTR CRegObject::lookup(LPCWSTR name, size_t length) const {
  for (size_t i = 0; i < names_.size(); ++i) {
    if (equalNamesIgnoringCase(names_[i], name, length)) return values_[i].c_str();
  }
  return nullptr;
}

const char16_t* CRegObject::findVariable(const char16_t* name, size_t length) const {
  return utf16(lookup(wide(name), length));
}

HRESULT CRegObject::RunScriptResource(LPCWSTR modulePath, UINT resourceId, LPCWSTR resourceType,
                                      bool doRegister) {
  framework::UniqueLibrary module(LoadLibraryExW(modulePath, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return framework::hresultFromLastError();
  HRSRC resource = FindResourceW(module.get(), MAKEINTRESOURCEW(resourceId), resourceType);
  if (resource == nullptr) return framework::hresultFromLastError();
  HGLOBAL loaded = LoadResource(module.get(), resource);
  if (loaded == nullptr) return framework::hresultFromLastError();
  DWORD size = SizeofResource(module.get(), resource);
  if (size == 0xFFFFFFFF) return E_OUTOFMEMORY;
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  if (bytes == nullptr) return framework::hresultFromLastError();

  std::unique_ptr<wchar_t[]> script(new (std::nothrow) wchar_t[size + 1]);
  if (!script) return E_OUTOFMEMORY;
  int converted = 0;
  if (size > 0) {
    converted = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(size), script.get(),
                                    static_cast<int>(size));
    if (converted == 0) return framework::hresultFromLastError();
  }
  script[converted] = 0;
  return RunScript(script.get(), doRegister);
}

HRESULT CRegObject::RunScript(LPCWSTR script, bool doRegister) {
  return CRegScriptReader(*this).RunScript(script, doRegister);
}

HRESULT CRegScriptReader::Expand(LPCWSTR script, std::u16string* expanded) {
  return text::expandScript(utf16(script), perUserRegistration, registrar_, expanded);
}

HRESULT CRegScriptReader::ReadToken(char16_t* token) { return reader_->readToken(token); }

void CRegScriptReader::SkipSpace() { reader_->skipSpace(); }

HRESULT CRegScriptReader::RunScript(LPCWSTR script, bool doRegister) {
  std::u16string expanded;
  HRESULT hr = Expand(script, &expanded);
  if (FAILED(hr)) return hr;
  text::Tokenizer reader(expanded);
  reader_ = &reader;
  std::unique_ptr<char16_t[]> token(new (std::nothrow) char16_t[kTokenBufferSize]);
  if (!token) hr = E_OUTOFMEMORY;
  while (SUCCEEDED(hr) && !reader.atEnd()) {
    hr = ReadToken(token.get());
    if (FAILED(hr)) break;
    HKEY root = rootKeyNamed(token.get());
    if (root == nullptr) {
      hr = DISP_E_EXCEPTION;
      break;
    }
    hr = ReadToken(token.get());
    if (SUCCEEDED(hr) && token[0] != u'{') hr = DISP_E_EXCEPTION;
    if (FAILED(hr)) break;
    size_t blockStart = reader.position();
    hr = RunEntries(token.get(), root, doRegister, false);
    if (FAILED(hr) && doRegister) {
      // Undo what the failing block wrote, as far as unregistration removes it.
      reader.setPosition(blockStart);
      undoing_ = true;
      RunEntries(token.get(), root, false, false);
      undoing_ = false;
    }
    SkipSpace();
  }
  reader_ = nullptr;
  return hr;
}

HRESULT CRegScriptReader::SkipAssignment(char16_t* token, LevelBuffers& level) {
  if (!isAssignment(token)) return S_OK;
  HRESULT hr = ReadToken(token);
  if (FAILED(hr)) return hr;
  SkipSpace();
  hr = ReadToken(level.value);
  if (FAILED(hr)) return hr;
  return ReadToken(token);
}

HRESULT CRegScriptReader::RunEntries(char16_t* token, HKEY parent, bool doRegister, bool skipMode) {
  std::unique_ptr<LevelBuffers> level(new (std::nothrow) LevelBuffers);
  if (!level) return E_OUTOFMEMORY;
  HRESULT hr = ReadToken(token);
  if (FAILED(hr)) return hr;
  return doRegister ? RegisterEntries(token, parent, *level) : UnregisterEntries(token, parent, skipMode, *level);
}

HRESULT CRegScriptReader::RegisterEntries(char16_t* token, HKEY parent, LevelBuffers& level) {
  CRegKeyHandle current;  // the key the most recent key entry opened
  while (!isBlockEnd(token)) {
    HRESULT hr = S_OK;
    bool keyEntry = true;
    bool isDelete = equalsIgnoringCase(token, "Delete");
    if (isDelete || equalsIgnoringCase(token, "ForceRemove")) {
      if (FAILED(hr = ReadToken(token))) return hr;
      if (text::containsBackslash(token)) return DISP_E_EXCEPTION;
      if (!text::isProtectedKeyName(token)) BorrowedKey(parent)->DeleteTree(wide(token));
      if (isDelete) {
        if (FAILED(hr = ReadToken(token))) return hr;
        if (FAILED(hr = SkipAssignment(token, level))) return hr;
        keyEntry = false;
      }
    }
    if (keyEntry && equalsIgnoringCase(token, "NoRemove")) {
      if (FAILED(hr = ReadToken(token))) return hr;
    }
    if (keyEntry && equalsIgnoringCase(token, "Val")) {
      if (FAILED(hr = ReadToken(level.name))) return hr;
      if (FAILED(hr = ReadToken(token))) return hr;
      if (!isAssignment(token)) return DISP_E_EXCEPTION;
      if (FAILED(hr = SetValueFromScript(parent, wide(level.name), token, level))) return hr;
      keyEntry = false;
    }
    if (keyEntry) {
      if (text::containsBackslash(token)) return DISP_E_EXCEPTION;
      if (current.Open(parent, wide(token), KEY_READ | KEY_WRITE) != ERROR_SUCCESS &&
          current.Open(parent, wide(token), KEY_READ) != ERROR_SUCCESS) {
        LONG status = current.Create(parent, wide(token));
        if (status != ERROR_SUCCESS) return fromStatus(status);
      }
      if (FAILED(hr = ReadToken(token))) return hr;
      if (isAssignment(token) && FAILED(hr = SetValueFromScript(current.get(), nullptr, token, level))) return hr;
    }
    if (isBlockStart(token)) {
      // Children belong to a key entry; a block after a value or a deletion
      // has no key of its own.
      if (!keyEntry) return DISP_E_EXCEPTION;
      if (FAILED(hr = RunEntries(token, current.get(), true, false))) return hr;
      if (FAILED(hr = ReadToken(token))) return hr;
    }
  }
  return S_OK;
}

HRESULT CRegScriptReader::UnregisterEntries(char16_t* token, HKEY parent, bool skipMode, LevelBuffers& level) {
  while (!isBlockEnd(token)) {
    HRESULT hr = S_OK;
    bool removable = true;
    if (equalsIgnoringCase(token, "ForceRemove") || equalsIgnoringCase(token, "Delete")) {
      if (FAILED(hr = ReadToken(token))) return hr;
    }
    if (equalsIgnoringCase(token, "NoRemove")) {
      removable = false;
      if (FAILED(hr = ReadToken(token))) return hr;
    }
    if (equalsIgnoringCase(token, "Val")) {
      if (FAILED(hr = ReadToken(level.name))) return hr;
      if (FAILED(hr = ReadToken(token))) return hr;
      if (!isAssignment(token)) return DISP_E_EXCEPTION;
      if (!skipMode && removable) {
        CRegKeyHandle key;
        LONG status = key.Open(parent, nullptr, KEY_WRITE);
        if (status != ERROR_SUCCESS) return fromStatus(status);
        status = key.DeleteValue(wide(level.name));
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return fromStatus(status);
      }
      if (FAILED(hr = SkipAssignment(token, level))) return hr;
      if (isBlockStart(token)) return DISP_E_EXCEPTION;
      continue;
    }

    if (text::containsBackslash(token)) return DISP_E_EXCEPTION;
    CRegKeyHandle key;
    LONG openStatus = skipMode ? ERROR_FILE_NOT_FOUND : key.Open(parent, wide(token), KEY_READ);
    // Key names are at most 255 characters; a longer one was never opened.
    lstrcpynW(reinterpret_cast<LPWSTR>(level.name), wide(token), MAX_PATH);
    hr = UnregisterKeyBody(token, key.get(), skipMode || openStatus != ERROR_SUCCESS, level);
    if (FAILED(hr)) {
      // Undoing a failed registration meets the same broken text that made
      // it fail. It still removes the keys it opened on the way, so that the
      // failed block leaves nothing behind that it named.
      if (undoing_ && openStatus == ERROR_SUCCESS) removeKey(key, parent, level.name, removable);
      return hr;
    }
    if (openStatus == ERROR_FILE_NOT_FOUND) continue;
    if (openStatus != ERROR_SUCCESS) {
      if (skipMode) continue;
      return fromStatus(openStatus);
    }
    if (FAILED(hr = removeKey(key, parent, level.name, removable))) return hr;
  }
  return S_OK;
}

HRESULT CRegScriptReader::UnregisterKeyBody(char16_t* token, HKEY key, bool skipChildren, LevelBuffers& level) {
  HRESULT hr = ReadToken(token);
  if (FAILED(hr)) return hr;
  if (FAILED(hr = SkipAssignment(token, level))) return hr;
  if (!isBlockStart(token)) return S_OK;
  hr = RunEntries(token, key, false, skipChildren);
  if (FAILED(hr) && !skipChildren) return hr;
  return ReadToken(token);
}

HRESULT CRegScriptReader::removeKey(CRegKeyHandle& key, HKEY parent, const char16_t* name, bool removable) {
  bool hasSubKeys = key.HasSubKeys();
  LONG status = key.Close();
  if (status != ERROR_SUCCESS) return fromStatus(status);
  if (!removable || hasSubKeys) return S_OK;
  return fromStatus(BorrowedKey(parent)->DeleteSubKey(wide(name)));
}

HRESULT CRegScriptReader::SetValueFromScript(HKEY key, LPCWSTR valueName, char16_t* token, LevelBuffers& level) {
  HRESULT hr = ReadToken(token);
  if (FAILED(hr)) return hr;
  char16_t type = token[1] == 0 ? static_cast<char16_t>(token[0] & ~0x20) : 0;
  if (type != u'S' && type != u'M' && type != u'D' && type != u'B') return DISP_E_EXCEPTION;
  SkipSpace();
  if (FAILED(hr = ReadToken(level.value))) return hr;

  BorrowedKey target(key);
  LONG status = ERROR_SUCCESS;
  switch (type) {
    case u'S':
      status = target->SetString(valueName, wide(level.value));
      break;
    case u'M':
      try {
        std::u16string block = text::multiStringFromText(level.value);
        status = target->SetMultiString(valueName, wide(block.c_str()), text::multiStringLength(block));
      } catch (const std::bad_alloc&) {
        status = ERROR_OUTOFMEMORY;
      }
      break;
    case u'D': {
      // A text that is no unsigned 32-bit number is an error, not a 0.
      ULONG number = 0;
      hr = VarUI4FromStr(const_cast<LPOLESTR>(wide(level.value)), 0, 0, &number);
      if (FAILED(hr)) return hr;
      status = target->SetDword(valueName, number);
      break;
    }
    case u'B':
      try {
        std::vector<BYTE> bytes;
        if (!text::bytesFromHexText(level.value, &bytes)) return E_FAIL;
        status = target->SetBinary(valueName, bytes.data(), static_cast<DWORD>(bytes.size()));
      } catch (const std::bad_alloc&) {
        return E_FAIL;
      }
      break;
  }
  if (status != ERROR_SUCCESS) return fromStatus(status);
  return ReadToken(token);
}

}  // namespace registration
