#pragma once
#include <windows.h>
#include <oaidl.h>

#include "framework/hosting/host_object.h"

// The script's way to print: host.echo(text, ...) writes its arguments,
// separated by spaces, as one line on stdout.
class HostEcho final : public HostObject, public IDispatch {
 public:
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
};
