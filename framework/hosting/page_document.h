#pragma once
#include <windows.h>
#include <oleidl.h>

#include <string>

#include "framework/hosting/host_object.h"
#include "framework/hosting/unimplemented_document.h"

// Stands in for the page's document: a control finds it through the script
// site (SID_SContainerDispatch) or as the container of its client site, and
// reads the page's address from it (IHTMLDocument2::get_URL, or the URL
// property through IDispatch).
class PageDocument final : public HostObject, public UnimplementedDocument, public IOleContainer {
 public:
  explicit PageDocument(std::wstring url, HostTrace trace = nullptr) : url_(std::move(url)), trace_(trace) {}

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return addReference(); }
  STDMETHODIMP_(ULONG) Release() override { return releaseReference(); }

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** typeInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // IHTMLDocument2
  STDMETHODIMP get_URL(BSTR* url) override;

  // IParseDisplayName, IOleContainer
  STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP EnumObjects(DWORD, IEnumUnknown**) override { return E_NOTIMPL; }
  STDMETHODIMP LockContainer(BOOL) override { return S_OK; }

 private:
  std::wstring url_;
  HostTrace trace_;
};
