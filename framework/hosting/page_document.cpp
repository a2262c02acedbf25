#include "framework/hosting/page_document.h"

#include <mshtmdid.h>

#include "framework/hosting/host_object.h"

STDMETHODIMP PageDocument::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IHTMLDocument) ||
      IsEqualIID(riid, IID_IHTMLDocument2)) {
    *ppv = static_cast<IHTMLDocument2*>(this);
  } else if (IsEqualIID(riid, IID_IOleContainer) || IsEqualIID(riid, IID_IParseDisplayName)) {
    *ppv = static_cast<IOleContainer*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP PageDocument::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP PageDocument::GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo) {
  if (typeInfo != nullptr) *typeInfo = nullptr;
  return E_NOTIMPL;
}

// Only the URL property has a name; like the browser's, names match in any case.
STDMETHODIMP PageDocument::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (names == nullptr || ids == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    bool isUrl = names[i] != nullptr && lstrcmpiW(names[i], L"URL") == 0;
    ids[i] = isUrl && i == 0 ? DISPID_IHTMLDOCUMENT2_URL : DISPID_UNKNOWN;
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

STDMETHODIMP PageDocument::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                  UINT*) {
  if (id != DISPID_IHTMLDOCUMENT2_URL) return DISP_E_MEMBERNOTFOUND;
  if ((flags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
  if (result == nullptr) return S_OK;
  VariantInit(result);
  BSTR url = nullptr;
  HRESULT hr = get_URL(&url);
  if (FAILED(hr)) return hr;
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = url;
  return S_OK;
}

STDMETHODIMP PageDocument::get_URL(BSTR* url) {
  if (url == nullptr) return E_POINTER;
  if (trace_ != nullptr) trace_(L"document: get_URL");
  *url = SysAllocStringLen(url_.data(), static_cast<UINT>(url_.size()));
  return *url == nullptr ? E_OUTOFMEMORY : S_OK;
}
