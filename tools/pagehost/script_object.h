#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>

#include "framework/hosting/host_object.h"

// An object of the page that its script reaches through IDispatch alone, as
// it reaches a browser's: no type information; the derived class names its
// members (idOfName) and carries them out (Invoke).
class ScriptObject : public HostObject, public IDispatch {
 public:
  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return addReference(); }
  STDMETHODIMP_(ULONG) Release() override { return releaseReference(); }

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** typeInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;

 protected:
  // The member's DISPID, or DISPID_UNKNOWN when the object has none of that name.
  virtual DISPID idOfName(const wchar_t* name) = 0;
};

// What an Invoke hands back to the script; each leaves *result untouched when it is null.
HRESULT returnText(VARIANT* result, const std::wstring& text);
HRESULT returnObject(VARIANT* result, IDispatch* object);
HRESULT returnNumber(VARIANT* result, LONG number);
HRESULT returnNull(VARIANT* result);

// The first argument of a call as text (String(value)); an error when it has none.
HRESULT firstArgumentText(DISPPARAMS* params, std::wstring* text);

// The argument as the script would show it (String(value)).
HRESULT argumentText(VARIANT* argument, std::wstring* text);
