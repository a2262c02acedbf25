#include "tools/pagehost/script_site.h"

#include <docobj.h>

#include "framework/handles.h"
#include "tools/pagehost/host_output.h"

namespace {

std::wstring serviceName(REFGUID service) {
  if (IsEqualGUID(service, SID_SInternetHostSecurityManager)) return L"SID_SInternetHostSecurityManager";
  if (IsEqualGUID(service, SID_SContainerDispatch)) return L"SID_SContainerDispatch";
  return guidText(service);
}

}  // namespace

ScriptSite::ScriptSite(IUnknown* document, IInternetHostSecurityManager* securityManager)
    : document_(holdReference(document)), securityManager_(holdReference(securityManager)) {}

HRESULT ScriptSite::AddItem(const wchar_t* name, IUnknown* object) {
  if (name == nullptr || object == nullptr) return E_POINTER;
  framework::ComPtr<IUnknown> held = holdReference(object);
  if (!held) return E_NOINTERFACE;
  items_.emplace_back(name, std::move(held));
  return S_OK;
}

STDMETHODIMP ScriptSite::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IActiveScriptSite)) {
    *ppv = static_cast<IActiveScriptSite*>(this);
  } else if (IsEqualIID(riid, IID_IActiveScriptSiteWindow)) {
    *ppv = static_cast<IActiveScriptSiteWindow*>(this);
  } else if (IsEqualIID(riid, IID_IServiceProvider)) {
    *ppv = static_cast<IServiceProvider*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP ScriptSite::GetLCID(LCID*) { return E_NOTIMPL; }

STDMETHODIMP ScriptSite::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** typeInfo) {
  if ((mask & SCRIPTINFO_IUNKNOWN) != 0) {
    if (item == nullptr) return E_POINTER;
    *item = nullptr;
  }
  if ((mask & SCRIPTINFO_ITYPEINFO) != 0) {
    if (typeInfo == nullptr) return E_POINTER;
    *typeInfo = nullptr;
  }
  if (name == nullptr) return E_POINTER;
  for (const auto& entry : items_) {
    if (entry.first != name) continue;
    if ((mask & SCRIPTINFO_IUNKNOWN) != 0) {
      *item = entry.second.get();
      (*item)->AddRef();
    }
    if ((mask & SCRIPTINFO_ITYPEINFO) != 0) {
      framework::ComPtr<IDispatch> dispatch;
      if (SUCCEEDED(entry.second->QueryInterface(IID_IDispatch, dispatch.putVoid()))) {
        dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, typeInfo);
      }
    }
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP ScriptSite::GetDocVersionString(BSTR* version) {
  if (version != nullptr) *version = nullptr;
  return E_NOTIMPL;
}

// Prints the error as a browser's script debugger would show it: code,
// description, line and column (counted from 1).
STDMETHODIMP ScriptSite::OnScriptError(IActiveScriptError* error) {
  scriptFailed_ = true;
  if (error == nullptr) return S_OK;
  EXCEPINFO exception{};
  HRESULT hr = error->GetExceptionInfo(&exception);
  framework::UniqueBstr description(exception.bstrDescription);
  framework::UniqueBstr source(exception.bstrSource);
  framework::UniqueBstr helpFile(exception.bstrHelpFile);
  if (FAILED(hr)) exception.scode = hr;
  if (exception.scode == 0 && exception.wCode != 0) exception.scode = MAKE_HRESULT(1, FACILITY_ITF, exception.wCode);
  DWORD context = 0;
  ULONG line = 0;
  LONG column = 0;
  std::wstring where;
  if (SUCCEEDED(error->GetSourcePosition(&context, &line, &column))) {
    where = L" at line " + std::to_wstring(line + 1) + L", column " + std::to_wstring(column + 1);
  }
  std::wstring text = description ? std::wstring(description.get()) : std::wstring(L"(no description)");
  printError(L"script error " + hexText(static_cast<ULONG>(exception.scode)) + where + L": " + text);
  return S_OK;
}

// No window of ours: the control's dialog takes the thread's active window
// as its owner, which is none here.
STDMETHODIMP ScriptSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = nullptr;
  return S_OK;
}

STDMETHODIMP ScriptSite::QueryService(REFGUID service, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  HRESULT hr = E_NOINTERFACE;
  if (IsEqualGUID(service, SID_SInternetHostSecurityManager)) {
    hr = securityManager_->QueryInterface(riid, ppv);
  } else if (IsEqualGUID(service, SID_SContainerDispatch)) {
    hr = document_->QueryInterface(riid, ppv);
  }
  trace(L"QueryService: " + serviceName(service) + L", interface " + guidText(riid) + L": " +
        hexText(static_cast<ULONG>(hr)));
  return hr;
}
