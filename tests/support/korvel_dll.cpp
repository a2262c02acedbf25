#include "tests/support/korvel_dll.h"

#include "tests/support/build_architecture.h"

#include <oleauto.h>

#include <string>

namespace testing_support {

const wchar_t* korvelDllPath() {
  static std::wstring path = [] {
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring folder(buffer);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + L"KorvelTool.dll";
  }();
  return path.c_str();
}

KorvelDll& KorvelDll::instance() {
  static KorvelDll dll;
  return dll;
}

KorvelDll::KorvelDll() {
  module_ = LoadLibraryW(korvelDllPath());
  if (module_ == nullptr) return;
  getClassObject_ = reinterpret_cast<decltype(getClassObject_)>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
  canUnloadNow_ = reinterpret_cast<decltype(canUnloadNow_)>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
}

HRESULT KorvelDll::getClassObject(REFCLSID classId, REFIID riid, void** ppv) const {
  return getClassObject_ != nullptr ? getClassObject_(classId, riid, ppv) : E_UNEXPECTED;
}

HRESULT KorvelDll::canUnloadNow() const { return canUnloadNow_ != nullptr ? canUnloadNow_() : E_UNEXPECTED; }

framework::ComPtr<IKorvelIE> KorvelDll::createControl() const {
  framework::ComPtr<IClassFactory> factory;
  framework::ComPtr<IKorvelIE> control;
  if (SUCCEEDED(getClassObject(CLSID_KorvelIE, IID_IClassFactory, factory.putVoid()))) {
    factory->CreateInstance(nullptr, IID_IKorvelIE, control.putVoid());
  }
  return control;
}

HRESULT registerTypeLibrary() {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(korvelDllPath(), REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  hr = RegisterTypeLib(library, const_cast<LPOLESTR>(korvelDllPath()), nullptr);
  library->Release();
  return hr;
}

HRESULT unregisterTypeLibrary() {
  return UnRegisterTypeLib(LIBID_KorvelToolLib, 1, 0, LOCALE_NEUTRAL, kTypeLibrarySysKind);
}

}  // namespace testing_support
