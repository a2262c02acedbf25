#pragma once
#include <windows.h>
#include <activscp.h>
#include <servprov.h>
#include <urlmon.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/hosting/host_object.h"

// What the page gives its script engine: the named items, the window for
// modal UI, the browser's services (its security manager and the document)
// and the report of script errors.
class ScriptSite final : public HostObject,
                         public IActiveScriptSite,
                         public IActiveScriptSiteWindow,
                         public IServiceProvider {
 public:
  ScriptSite(IUnknown* document, IInternetHostSecurityManager* securityManager);

  // Makes `object` known to the engine's site under `name`; the caller adds
  // the name to the engine.
  HRESULT AddItem(const wchar_t* name, IUnknown* object);
  void DropItems() { items_.clear(); }
  bool ScriptFailed() const { return scriptFailed_; }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return addReference(); }
  STDMETHODIMP_(ULONG) Release() override { return releaseReference(); }

  // IActiveScriptSite
  STDMETHODIMP GetLCID(LCID* lcid) override;
  STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** typeInfo) override;
  STDMETHODIMP GetDocVersionString(BSTR* version) override;
  STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
  STDMETHODIMP OnScriptError(IActiveScriptError* error) override;
  STDMETHODIMP OnEnterScript() override { return S_OK; }
  STDMETHODIMP OnLeaveScript() override { return S_OK; }

  // IActiveScriptSiteWindow
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  // IServiceProvider
  STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override;

 private:
  std::vector<std::pair<std::wstring, framework::ComPtr<IUnknown>>> items_;
  framework::ComPtr<IUnknown> document_;
  framework::ComPtr<IInternetHostSecurityManager> securityManager_;
  bool scriptFailed_ = false;
};
