#pragma once
#include <windows.h>
#include <urlmon.h>

#include "framework/hosting/host_object.h"

// Asks an object to be safe for scripting as a browser does before a page
// script may use it: IObjectSafety on IDispatch, safe for untrusted callers
// and data.
HRESULT confirmSafeForScripting(IUnknown* object);

// The browser's policy for a page's script engine: ActiveX controls may run,
// and an object may be scripted when it confirms that it is safe. Every
// other action and policy is refused.
class HostSecurityManager final : public HostObject, public IInternetHostSecurityManager {
 public:
  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return addReference(); }
  STDMETHODIMP_(ULONG) Release() override { return releaseReference(); }

  // IInternetHostSecurityManager
  STDMETHODIMP GetSecurityId(BYTE* securityId, DWORD* size, DWORD_PTR reserved) override;
  STDMETHODIMP ProcessUrlAction(DWORD action, BYTE* policy, DWORD policySize, BYTE* context, DWORD contextSize,
                                DWORD flags, DWORD reserved) override;
  STDMETHODIMP QueryCustomPolicy(REFGUID key, BYTE** policy, DWORD* policySize, BYTE* context,
                                 DWORD contextSize, DWORD reserved) override;
};
