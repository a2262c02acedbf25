#pragma once
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <oaidl.h>

#include "KorvelTool_h.h"
#include "dialog/korvel_dlg.h"
#include "framework/com_object.h"
#include "framework/com_ptr.h"

// The scriptable control. It is the selection dialog too: SignRenewal runs
// the dialog on this very object. A build locked to its sites also answers
// IObjectWithSite and serves only pages of its allowed origins.
class CKorvelIE : public CKorvelDlg,
                  public framework::ComObjectRoot,
                  public IKorvelIE,
                  public ISupportErrorInfo,
                  public IObjectSafety,
                  public IObjectWithSite {
 public:
  static constexpr DWORD kSupportedSafetyOptions =
      INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

  // The query table; the aggregate answers IUnknown itself.
  HRESULT InternalQueryInterface(REFIID riid, void** ppv, bool includeUnknown);

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** typeInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // IKorvelIE
  STDMETHODIMP put_SelID_Text(BSTR text) override;
  STDMETHODIMP put_SelID_Title(BSTR text) override;
  STDMETHODIMP put_Server_Date(BSTR text) override;
  STDMETHODIMP put_IssuerDN(BSTR text) override;
  STDMETHODIMP get_IssuerDN(BSTR* retVal) override;
  STDMETHODIMP get_CertData(BSTR* retVal) override;
  STDMETHODIMP SignRenewal(ULONG* retVal) override;

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override;

  // IObjectSafety
  STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

  // IObjectWithSite (answered by a locked build only)
  STDMETHODIMP SetSite(IUnknown* site) override;
  STDMETHODIMP GetSite(REFIID riid, void** site) override;

 private:
  HRESULT probeInterface(REFIID riid);
  bool isRefusedBySiteLock() const;
  bool isKnownRefusedSite() const;

  DWORD safetyOptions_ = 0;
  framework::ComPtr<IUnknown> site_;
};
