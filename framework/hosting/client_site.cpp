#include "framework/hosting/client_site.h"

#include "framework/hosting/host_object.h"

ClientSite::ClientSite(IOleContainer* container, IServiceProvider* services, HostTrace trace)
    : container_(holdReference(container)), services_(holdReference(services)), trace_(trace) {}

STDMETHODIMP ClientSite::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
    *ppv = static_cast<IOleClientSite*>(this);
  } else if (IsEqualIID(riid, IID_IServiceProvider)) {
    *ppv = static_cast<IServiceProvider*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP ClientSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ClientSite::GetContainer(IOleContainer** container) {
  if (container == nullptr) return E_POINTER;
  if (trace_ != nullptr) trace_(L"client site: GetContainer");
  *container = container_.get();
  (*container)->AddRef();
  return S_OK;
}

STDMETHODIMP ClientSite::QueryService(REFGUID service, REFIID riid, void** ppv) {
  if (!services_) {
    if (ppv != nullptr) *ppv = nullptr;
    return E_NOINTERFACE;
  }
  return services_->QueryService(service, riid, ppv);
}
