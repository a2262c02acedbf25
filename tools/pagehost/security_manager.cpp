#include "tools/pagehost/security_manager.h"

#include <objsafe.h>

#include "tools/pagehost/host_output.h"

namespace {

// Not in mingw-w64's import libraries: {10200490-FA38-11D0-AC0E-00A0C90FFFC0}.
const GUID kConfirmObjectSafety = {0x10200490, 0xfa38, 0x11d0, {0xac, 0x0e, 0x00, 0xa0, 0xc9, 0x0f, 0xff, 0xc0}};

// A policy of one DWORD in memory the caller frees with CoTaskMemFree.
HRESULT allocatePolicy(DWORD value, BYTE** policy, DWORD* policySize) {
  auto* memory = static_cast<DWORD*>(CoTaskMemAlloc(sizeof(DWORD)));
  if (memory == nullptr) return E_OUTOFMEMORY;
  *memory = value;
  *policy = reinterpret_cast<BYTE*>(memory);
  *policySize = sizeof(DWORD);
  return S_OK;
}

std::wstring contextText(const BYTE* context, DWORD contextSize) {
  if (context == nullptr) return L"none";
  if (contextSize != sizeof(GUID)) return std::to_wstring(contextSize) + L" bytes";
  return guidText(*reinterpret_cast<const GUID*>(context));
}

}  // namespace

HRESULT confirmSafeForScripting(IUnknown* object) {
  if (object == nullptr) return E_POINTER;
  framework::ComPtr<IObjectSafety> safety;
  HRESULT hr = object->QueryInterface(IID_IObjectSafety, safety.putVoid());
  if (FAILED(hr)) return hr;
  const DWORD options = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
  return safety->SetInterfaceSafetyOptions(IID_IDispatch, options, options);
}

STDMETHODIMP HostSecurityManager::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IInternetHostSecurityManager)) {
    return E_NOINTERFACE;
  }
  *ppv = static_cast<IInternetHostSecurityManager*>(this);
  AddRef();
  return S_OK;
}

// A browser answers with the page's scheme, domain and zone; nothing here
// needs it, and a caller then falls back to its own default.
STDMETHODIMP HostSecurityManager::GetSecurityId(BYTE*, DWORD*, DWORD_PTR) {
  trace(L"GetSecurityId: E_NOTIMPL");
  return E_NOTIMPL;
}

STDMETHODIMP HostSecurityManager::ProcessUrlAction(DWORD action, BYTE* policy, DWORD policySize, BYTE* context,
                                                   DWORD contextSize, DWORD flags, DWORD) {
  DWORD answer = action == URLACTION_ACTIVEX_RUN ? URLPOLICY_ALLOW : URLPOLICY_DISALLOW;
  trace(L"ProcessUrlAction: action " + hexText(action) + L", context " + contextText(context, contextSize) +
        L", flags " + hexText(flags) + L", policy size " + std::to_wstring(policySize) + L": " +
        (answer == URLPOLICY_ALLOW ? L"allow" : L"disallow"));
  if (policy == nullptr || policySize < sizeof(DWORD)) return E_INVALIDARG;
  *reinterpret_cast<DWORD*>(policy) = answer;
  return answer == URLPOLICY_ALLOW ? S_OK : S_FALSE;
}

STDMETHODIMP HostSecurityManager::QueryCustomPolicy(REFGUID key, BYTE** policy, DWORD* policySize, BYTE* context,
                                                    DWORD contextSize, DWORD) {
  if (policy == nullptr || policySize == nullptr) return E_POINTER;
  *policy = nullptr;
  *policySize = 0;
  DWORD answer = URLPOLICY_DISALLOW;
  std::wstring about = L"QueryCustomPolicy: " + guidText(key);
  if (IsEqualGUID(key, kConfirmObjectSafety) && context != nullptr && contextSize >= sizeof(CONFIRMSAFETY)) {
    const auto* confirm = reinterpret_cast<const CONFIRMSAFETY*>(context);
    HRESULT hr = confirmSafeForScripting(confirm->pUnk);
    if (SUCCEEDED(hr)) answer = URLPOLICY_ALLOW;
    about += L" (confirm object safety), class " + guidText(confirm->clsid) + L", flags " +
             hexText(confirm->dwFlags) + L", IObjectSafety " + hexText(static_cast<ULONG>(hr));
  } else {
    about += L", context " + contextText(context, contextSize);
  }
  trace(about + L": " + (answer == URLPOLICY_ALLOW ? L"allow" : L"disallow"));
  return allocatePolicy(answer, policy, policySize);
}
