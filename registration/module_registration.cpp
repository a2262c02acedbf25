// Self-registration operations of the module object.
#include <windows.h>
#include <oleauto.h>

#include "control/korvel_module.h"
#include "framework/com_ptr.h"
#include "framework/handles.h"
#include "korvel_ids.h"
#include "registration/reg_object.h"

namespace {

constexpr UINT kModuleScriptId = 101;
constexpr UINT kControlScriptId = 102;
constexpr wchar_t kScriptResourceType[] = L"REGISTRY";

// Not declared by the mingw-w64 headers; looked up in OLEAUT32.DLL.
using RegisterTypeLibForUserFunction = HRESULT(WINAPI*)(ITypeLib*, OLECHAR*, OLECHAR*);
using UnRegisterTypeLibForUserFunction = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

template <typename Function>
Function oleAutomationFunction(const char* name) {
  HMODULE oleaut = GetModuleHandleW(L"OLEAUT32.DLL");
  if (oleaut == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(oleaut, name)));
}

// Runs the calling thread in the system's default locale for its lifetime.
class SystemLocaleScope {
 public:
  SystemLocaleScope() : saved_(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
  ~SystemLocaleScope() { SetThreadLocale(saved_); }
  SystemLocaleScope(const SystemLocaleScope&) = delete;
  SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

 private:
  LCID saved_;
};

// The module's full path; fails when it fills the MAX_PATH buffer.
HRESULT modulePath(wchar_t (&path)[MAX_PATH]) {
  DWORD length = GetModuleFileNameW(korvelModuleInstance(), path, MAX_PATH);
  if (length == 0) return framework::hresultFromLastError();
  if (length == MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  return S_OK;
}

// Copies text with every single quote doubled, so that it can stand in a
// quoted script string.
void doubleSingleQuotes(const wchar_t* text, wchar_t (&escaped)[2 * MAX_PATH]) {
  size_t out = 0;
  for (; *text != 0; ++text) {
    if (*text == L'\'') escaped[out++] = L'\'';
    escaped[out++] = *text;
  }
  escaped[out] = 0;
}

// The folder part of a help file path, up to its last separator.
framework::UniqueBstr helpDirectory(ITypeLib* library) {
  framework::UniqueBstr helpFile;
  if (FAILED(library->GetDocumentation(-1, nullptr, nullptr, nullptr, helpFile.put())) || !helpFile) {
    return {};
  }
  UINT cut = 0;
  UINT length = SysStringLen(helpFile.get());
  for (UINT i = 0; i < length; ++i) {
    wchar_t c = helpFile.get()[i];
    if (c == L'\\' || c == L'/' || c == L':') cut = i + 1;
  }
  if (cut == 0) return {};
  return framework::UniqueBstr(SysAllocStringLen(helpFile.get(), cut));
}

const RegistrationVariable kModuleScriptVariables[] = {{L"APPID", kKorvelAppIdText}, {nullptr, nullptr}};

}  // namespace

HRESULT updateKorvelIERegistry(bool doRegister) {
  return korvelModule().RunRegistrationScript(kControlScriptId, doRegister, nullptr);
}

HRESULT CKorvelToolModule::AddCommonVariables(registration::CRegObject& registrar) {
  return registrar.AddVariable(L"APPID", kKorvelAppIdText);
}

HRESULT CKorvelToolModule::RunRegistrationScript(UINT resourceId, bool doRegister,
                                                 const RegistrationVariable* extras) {
  registration::CRegObject registrar;
  for (; extras != nullptr && extras->name != nullptr; ++extras) {
    if (extras->value == nullptr) continue;
    HRESULT hr = registrar.AddVariable(extras->name, extras->value);
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = AddCommonVariables(registrar);
  if (FAILED(hr)) return hr;

  wchar_t path[MAX_PATH];
  if (FAILED(hr = modulePath(path))) return hr;
  wchar_t escaped[2 * MAX_PATH];
  doubleSingleQuotes(path, escaped);
  if (FAILED(hr = registrar.AddVariable(L"Module", escaped))) return hr;
  if (FAILED(hr = registrar.AddVariable(L"Module_Raw", escaped))) return hr;
  return registrar.RunScriptResource(path, resourceId, kScriptResourceType, doRegister);
}

HRESULT CKorvelToolModule::RegisterModule() {
  SystemLocaleScope locale;
  HRESULT hr = RunRegistrationScript(kModuleScriptId, true, kModuleScriptVariables);
  if (FAILED(hr)) return hr;
  for (ObjectMapEntry& entry : korvelClassRegistry()) {
    if (entry.updateRegistry == nullptr) continue;
    if (FAILED(hr = entry.updateRegistry(true))) return hr;
  }
  return RegisterTypeLibrary();
}

HRESULT CKorvelToolModule::UnregisterModule() {
  SystemLocaleScope locale;
  HRESULT hr = S_OK;
  for (ObjectMapEntry& entry : korvelClassRegistry()) {
    if (entry.updateRegistry == nullptr) continue;
    if (FAILED(hr = entry.updateRegistry(false))) return hr;
  }
  if (FAILED(hr = UnregisterTypeLibrary())) return hr;
  return RunRegistrationScript(kModuleScriptId, false, kModuleScriptVariables);
}

HRESULT CKorvelToolModule::LoadModuleTypeLibrary(BSTR* path, ITypeLib** library) {
  if (path == nullptr || library == nullptr) return E_POINTER;
  *path = nullptr;
  *library = nullptr;
  wchar_t file[MAX_PATH];
  HRESULT hr = modulePath(file);
  if (FAILED(hr)) return hr;

  size_t extension = lstrlenW(file);
  for (size_t i = extension; i > 0 && file[i - 1] != L'\\'; --i) {
    if (file[i - 1] == L'.') {
      extension = i - 1;
      break;
    }
  }
  // REGKIND_NONE: loading must not register the library as a side effect.
  framework::ComPtr<ITypeLib> loaded;
  hr = LoadTypeLibEx(file, REGKIND_NONE, loaded.put());
  if (FAILED(hr)) {
    if (extension + 5 > MAX_PATH) return E_FAIL;
    lstrcpyW(file + extension, L".tlb");
    hr = LoadTypeLibEx(file, REGKIND_NONE, loaded.put());
    if (FAILED(hr)) return hr;
  }
  BSTR loadedPath = SysAllocString(file);
  if (loadedPath == nullptr) return E_OUTOFMEMORY;
  *path = loadedPath;
  *library = loaded.detach();
  return S_OK;
}

HRESULT CKorvelToolModule::RegisterTypeLibrary() {
  framework::UniqueBstr path;
  framework::ComPtr<ITypeLib> library;
  HRESULT hr = LoadModuleTypeLibrary(path.put(), library.put());
  if (FAILED(hr)) return hr;
  framework::UniqueBstr helpDir = helpDirectory(library.get());
  RegisterTypeLibForUserFunction registerForUser =
      perUserRegistration ? oleAutomationFunction<RegisterTypeLibForUserFunction>("RegisterTypeLibForUser")
                          : nullptr;
  if (registerForUser != nullptr) return registerForUser(library.get(), path.get(), helpDir.get());
  return RegisterTypeLib(library.get(), path.get(), helpDir.get());
}

HRESULT CKorvelToolModule::UnregisterTypeLibrary() {
  framework::UniqueBstr path;
  framework::ComPtr<ITypeLib> library;
  HRESULT hr = LoadModuleTypeLibrary(path.put(), library.put());
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  if (FAILED(hr = library->GetLibAttr(&attributes))) return hr;
  UnRegisterTypeLibForUserFunction unregisterForUser =
      perUserRegistration ? oleAutomationFunction<UnRegisterTypeLibForUserFunction>("UnRegisterTypeLibForUser")
                          : nullptr;
  auto unregister = unregisterForUser != nullptr ? unregisterForUser : &UnRegisterTypeLib;
  hr = unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                  attributes->syskind);
  library->ReleaseTLibAttr(attributes);
  return hr;
}
