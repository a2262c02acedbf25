#pragma once
#include <windows.h>
#include <oleidl.h>
#include <servprov.h>

#include "framework/hosting/host_object.h"

// The site an <object> element gives its control: its container is the
// page's document, and its services are the page's (none when null).
class ClientSite final : public HostObject, public IOleClientSite, public IServiceProvider {
 public:
  ClientSite(IOleContainer* container, IServiceProvider* services, HostTrace trace = nullptr);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return addReference(); }
  STDMETHODIMP_(ULONG) Release() override { return releaseReference(); }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IServiceProvider
  STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override;

 private:
  framework::ComPtr<IOleContainer> container_;
  framework::ComPtr<IServiceProvider> services_;
  HostTrace trace_;
};
