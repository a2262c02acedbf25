#include "registration/reg_object.h"

#include <memory>
#include <new>

#include "framework/com_module.h"
#include "framework/handles.h"
#include "registration/text/script_reader.h"

bool perUserRegistration = false;

namespace registration {

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
  RegistryKeyLayer registry;
  return text::CRegScriptReader(*this, registry, perUserRegistration).RunScript(utf16(script), doRegister);
}

}  // namespace registration
