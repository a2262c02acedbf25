#include "control/korvel_ie.h"

#include "control/site_lock.h"
#include "control/text/server_date.h"
#include "control/type_info_holder.h"

namespace {

// A copy of `text` up to its first null; null for an empty or null text.
HRESULT copyText(BSTR text, framework::UniqueBstr& stored) {
  const UINT length = text != nullptr ? static_cast<UINT>(wcslen(text)) : 0;
  if (length == 0) {
    stored.reset();
    return S_OK;
  }
  BSTR copy = SysAllocStringLen(text, length);
  if (copy == nullptr) return E_OUTOFMEMORY;
  stored.reset(copy);
  return S_OK;
}

// A new copy for the caller, never null.
HRESULT copyOut(const framework::UniqueBstr& stored, BSTR* retVal) {
  if (retVal == nullptr) return E_POINTER;
  *retVal = SysAllocStringLen(stored.get(), SysStringLen(stored.get()));
  return *retVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT CKorvelIE::InternalQueryInterface(REFIID riid, void** ppv, bool includeUnknown) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  IUnknown* found = nullptr;
  if ((includeUnknown && IsEqualIID(riid, IID_IUnknown)) || IsEqualIID(riid, IID_IKorvelIE) ||
      IsEqualIID(riid, IID_IDispatch)) {
    found = static_cast<IKorvelIE*>(this);
  } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
    found = static_cast<ISupportErrorInfo*>(this);
  } else if (IsEqualIID(riid, IID_IObjectSafety)) {
    found = static_cast<IObjectSafety*>(this);
  } else if (IsEqualIID(riid, IID_IObjectWithSite) && korvel::isSiteLocked()) {
    found = static_cast<IObjectWithSite*>(this);
  } else {
    return E_NOINTERFACE;
  }
  found->AddRef();
  *ppv = found;
  return S_OK;
}

STDMETHODIMP CKorvelIE::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP CKorvelIE::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** typeInfo) {
  if (index != 0) return DISP_E_BADINDEX;
  if (typeInfo == nullptr) return E_POINTER;
  return korvelTypeInfo().GetTypeInfo(lcid, typeInfo);
}

STDMETHODIMP CKorvelIE::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
  return korvelTypeInfo().GetIDsOfNames(names, count, lcid, ids);
}

STDMETHODIMP CKorvelIE::Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* exception, UINT* argError) {
  return korvelTypeInfo().Invoke(static_cast<IKorvelIE*>(this), id, lcid, flags, params, result, exception,
                                 argError);
}

STDMETHODIMP CKorvelIE::put_SelID_Text(BSTR text) { return copyText(text, selIdText_); }
STDMETHODIMP CKorvelIE::put_SelID_Title(BSTR text) { return copyText(text, selIdTitle_); }
STDMETHODIMP CKorvelIE::put_IssuerDN(BSTR text) { return copyText(text, issuerDN_); }

STDMETHODIMP CKorvelIE::put_Server_Date(BSTR text) {
  serverTime_ = korvel::serverSecondsFromText(text);
  return S_OK;
}

STDMETHODIMP CKorvelIE::get_IssuerDN(BSTR* retVal) { return copyOut(issuerDN_, retVal); }
STDMETHODIMP CKorvelIE::get_CertData(BSTR* retVal) { return copyOut(certData_, retVal); }

// A call made while this object's dialog is open (page script run by the
// modal loop), and a dialog that cannot be created, report "nothing signed":
// neither may look like a success, and the open dialog is left alone.
STDMETHODIMP CKorvelIE::SignRenewal(ULONG* retVal) {
  if (retVal == nullptr) return E_POINTER;
  if (isRefusedBySiteLock()) {
    *retVal = kResultNothingSigned;
    return E_ACCESSDENIED;
  }
  if (isOpen()) {
    *retVal = kResultNothingSigned;
    return S_OK;
  }
  INT_PTR ended = runDialog(GetActiveWindow());
  *retVal = ended == -1 ? kResultNothingSigned : resultCode_;
  return S_OK;
}

STDMETHODIMP CKorvelIE::InterfaceSupportsErrorInfo(REFIID riid) {
  return IsEqualIID(riid, IID_IKorvelIE) ? S_OK : S_FALSE;
}

// Asks the object's own QueryInterface (the outer object's when aggregated)
// and lets go of what it gave.
HRESULT CKorvelIE::probeInterface(REFIID riid) {
  IUnknown* found = nullptr;
  HRESULT hr = static_cast<IKorvelIE*>(this)->QueryInterface(riid, reinterpret_cast<void**>(&found));
  if (SUCCEEDED(hr) && found != nullptr) found->Release();
  return hr;
}

STDMETHODIMP CKorvelIE::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
  if (supported == nullptr || enabled == nullptr) return E_POINTER;
  HRESULT hr = probeInterface(riid);
  const bool answered = SUCCEEDED(hr) && !isKnownRefusedSite();
  *supported = answered ? kSupportedSafetyOptions : 0;
  *enabled = answered ? safetyOptions_ : 0;
  return hr;
}

STDMETHODIMP CKorvelIE::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
  if (FAILED(probeInterface(riid))) return E_NOINTERFACE;
  if ((mask & ~kSupportedSafetyOptions) != 0) return E_FAIL;
  if (isKnownRefusedSite()) return E_FAIL;
  safetyOptions_ = (safetyOptions_ & ~mask) | (enabled & mask);
  return S_OK;
}

// The lock reads the page's URL afresh at every call: a site may outlive a
// navigation of its document.
bool CKorvelIE::isRefusedBySiteLock() const {
  return korvel::isSiteLocked() && !korvel::isHostPageAllowed(site_.get());
}

// A browser asks the object's safety before it hands the object its site
// (IE, and Wine's script engine after it: run policy, creation, the
// object-safety policy, then SetSite), so this refusal rarely has a site to
// judge by: SignRenewal's check is the one that guards.
bool CKorvelIE::isKnownRefusedSite() const { return site_ && isRefusedBySiteLock(); }

STDMETHODIMP CKorvelIE::SetSite(IUnknown* site) {
  if (site != nullptr) site->AddRef();
  *site_.put() = site;
  return S_OK;
}

STDMETHODIMP CKorvelIE::GetSite(REFIID riid, void** site) {
  if (site == nullptr) return E_POINTER;
  *site = nullptr;
  if (!site_) return E_FAIL;
  return site_->QueryInterface(riid, site);
}
