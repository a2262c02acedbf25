#include "tools/pagehost/host_echo.h"

#include <string>

#include "tools/pagehost/host_output.h"

namespace {

constexpr DISPID kEchoId = 1;

}  // namespace

DISPID HostEcho::idOfName(const wchar_t* name) { return lstrcmpW(name, L"echo") == 0 ? kEchoId : DISPID_UNKNOWN; }

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
