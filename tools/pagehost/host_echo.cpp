#include "tools/pagehost/host_echo.h"

#include <string>

#include "tools/pagehost/host_output.h"

namespace {

constexpr DISPID kEchoId = 1;

// One argument as text, as the script would show it (String(value)).
HRESULT argumentText(VARIANT* argument, std::wstring* text) {
  VARIANT converted;
  VariantInit(&converted);
  HRESULT hr = VariantChangeType(&converted, argument, VARIANT_ALPHABOOL, VT_BSTR);
  if (FAILED(hr)) return hr;
  text->assign(V_BSTR(&converted), SysStringLen(V_BSTR(&converted)));
  VariantClear(&converted);
  return S_OK;
}

}  // namespace

STDMETHODIMP HostEcho::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
  *ppv = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP HostEcho::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP HostEcho::GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo) {
  if (typeInfo != nullptr) *typeInfo = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP HostEcho::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (names == nullptr || ids == nullptr) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    bool isEcho = i == 0 && names[i] != nullptr && lstrcmpW(names[i], L"echo") == 0;
    ids[i] = isEcho ? kEchoId : DISPID_UNKNOWN;
    if (!isEcho) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

// Arguments arrive last to first.
STDMETHODIMP HostEcho::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                              UINT* argError) {
  if (id != kEchoId || (flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
  if (params == nullptr) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  std::wstring line;
  for (UINT i = params->cArgs; i-- > 0;) {
    std::wstring text;
    HRESULT hr = argumentText(&params->rgvarg[i], &text);
    if (FAILED(hr)) {
      if (argError != nullptr) *argError = i;
      return hr;
    }
    if (i + 1 < params->cArgs) line += L' ';
    line += text;
  }
  printLine(line);
  if (result != nullptr) VariantInit(result);
  return S_OK;
}
