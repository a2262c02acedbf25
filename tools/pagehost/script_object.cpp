#include "tools/pagehost/script_object.h"

STDMETHODIMP ScriptObject::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
  *ppv = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP ScriptObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP ScriptObject::GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo) {
  if (typeInfo != nullptr) *typeInfo = nullptr;
  return E_NOTIMPL;
}

// The first name is the member's; any further ones would name arguments, which none takes.
STDMETHODIMP ScriptObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (names == nullptr || ids == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = i == 0 && names[i] != nullptr ? idOfName(names[i]) : DISPID_UNKNOWN;
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT returnText(VARIANT* result, const std::wstring& text) {
  if (result == nullptr) return S_OK;
  VariantInit(result);
  BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (copy == nullptr) return E_OUTOFMEMORY;
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = copy;
  return S_OK;
}

HRESULT returnObject(VARIANT* result, IDispatch* object) {
  if (result == nullptr) return S_OK;
  VariantInit(result);
  object->AddRef();
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = object;
  return S_OK;
}

HRESULT returnNumber(VARIANT* result, LONG number) {
  if (result == nullptr) return S_OK;
  VariantInit(result);
  V_VT(result) = VT_I4;
  V_I4(result) = number;
  return S_OK;
}

HRESULT returnNull(VARIANT* result) {
  if (result == nullptr) return S_OK;
  VariantInit(result);
  V_VT(result) = VT_NULL;
  return S_OK;
}

HRESULT argumentText(VARIANT* argument, std::wstring* text) {
  VARIANT converted;
  VariantInit(&converted);
  HRESULT hr = VariantChangeType(&converted, argument, VARIANT_ALPHABOOL, VT_BSTR);
  if (FAILED(hr)) return hr;
  text->assign(V_BSTR(&converted), SysStringLen(V_BSTR(&converted)));
  VariantClear(&converted);
  return S_OK;
}

// Arguments arrive last to first.
HRESULT firstArgumentText(DISPPARAMS* params, std::wstring* text) {
  if (params == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs == 0) return DISP_E_BADPARAMCOUNT;
  return argumentText(&params->rgvarg[params->cArgs - 1], text);
}
