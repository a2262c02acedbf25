#include "control/site_lock.h"

#include <docobj.h>
#include <mshtml.h>
#include <oleidl.h>
#include <servprov.h>

#include <string_view>

#include "control/text/site_lock.h"
#include "framework/com_ptr.h"

namespace korvel {
namespace {

// Leaves `url` empty unless the document gave one.
HRESULT documentUrl(IUnknown* document, framework::UniqueBstr& url) {
  framework::ComPtr<IHTMLDocument2> html;
  HRESULT hr = document->QueryInterface(IID_IHTMLDocument2, html.putVoid());
  if (FAILED(hr)) return hr;
  BSTR text = nullptr;
  hr = html->get_URL(&text);
  url.reset(text);
  if (SUCCEEDED(hr) && url) return S_OK;
  url.reset();
  return FAILED(hr) ? hr : E_FAIL;
}

// A script-created object: the engine's site serves the hosting document.
HRESULT urlThroughServiceProvider(IUnknown* site, framework::UniqueBstr& url) {
  framework::ComPtr<IServiceProvider> services;
  HRESULT hr = site->QueryInterface(IID_IServiceProvider, services.putVoid());
  if (FAILED(hr)) return hr;
  framework::ComPtr<IDispatch> document;
  hr = services->QueryService(SID_SContainerDispatch, IID_IDispatch, document.putVoid());
  if (FAILED(hr)) return hr;
  if (!document) return E_FAIL;
  return documentUrl(document.get(), url);
}

// An <object> element: its client site's container leads to the document.
HRESULT urlThroughClientSite(IUnknown* site, framework::UniqueBstr& url) {
  framework::ComPtr<IOleClientSite> clientSite;
  HRESULT hr = site->QueryInterface(IID_IOleClientSite, clientSite.putVoid());
  if (FAILED(hr)) return hr;
  framework::ComPtr<IOleContainer> container;
  hr = clientSite->GetContainer(container.put());
  if (FAILED(hr)) return hr;
  if (!container) return E_FAIL;
  return documentUrl(container.get(), url);
}

}  // namespace

bool isSiteLocked() { return kAllowedOrigins[0] != '\0'; }

HRESULT readHostDocumentUrl(IUnknown* site, framework::UniqueBstr& url) {
  url.reset();
  if (site == nullptr) return E_FAIL;
  if (SUCCEEDED(urlThroughServiceProvider(site, url))) return S_OK;
  return urlThroughClientSite(site, url);
}

bool isHostPageAllowed(IUnknown* site) {
  framework::UniqueBstr url;
  if (FAILED(readHostDocumentUrl(site, url))) return false;
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "BSTR text is UTF-16");
  const std::u16string_view text(reinterpret_cast<const char16_t*>(url.get()), SysStringLen(url.get()));
  return isUrlAllowed(text, kAllowedOrigins);
}

}  // namespace korvel
