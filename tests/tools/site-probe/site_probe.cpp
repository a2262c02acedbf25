// TEST-ONLY controls for the page host's tests. Each records, in the order
// they come, the host's safety request, the site it is given and the page
// address it finds through that site; a script reads the record as the
// property `calls`. The safe probe agrees to be scripted; the unsafe one
// refuses every safety request; the leaky one is safe but keeps one
// reference to its site for ever. None registers itself: the tests write
// their class keys.
//   {9D4375D1-E601-4CF5-B65E-3570D5B608B5} safe probe
//   {B6382429-5B37-4469-8EB3-75408A8E71A8} unsafe probe
//   {5C0F3B5E-2D7A-4E61-9C4B-8A1D6E2F7B30} leaky probe
#include <windows.h>
#include <docobj.h>
#include <mshtml.h>
#include <objsafe.h>
#include <ocidl.h>
#include <servprov.h>

#include <new>
#include <string>

#include "framework/com_ptr.h"
#include "framework/handles.h"

namespace {

using framework::ComPtr;

const CLSID kSafeProbe = {0x9d4375d1, 0xe601, 0x4cf5, {0xb6, 0x5e, 0x35, 0x70, 0xd5, 0xb6, 0x08, 0xb5}};
const CLSID kUnsafeProbe = {0xb6382429, 0x5b37, 0x4469, {0x8e, 0xb3, 0x75, 0x40, 0x8a, 0x8e, 0x71, 0xa8}};
const CLSID kLeakyProbe = {0x5c0f3b5e, 0x2d7a, 0x4e61, {0x9c, 0x4b, 0x8a, 0x1d, 0x6e, 0x2f, 0x7b, 0x30}};
constexpr DISPID kCallsId = 1;

enum class Kind { safe, unsafe, leaky };

LONG liveObjects = 0;

std::wstring interfaceName(REFIID riid) {
  if (IsEqualIID(riid, IID_IDispatch)) return L"IDispatch";
  if (IsEqualIID(riid, IID_IPersistPropertyBag)) return L"IPersistPropertyBag";
  wchar_t text[40] = L"";
  StringFromGUID2(riid, text, 40);
  return text;
}

// The page address a document gives, or why there is none.
std::wstring documentUrl(IUnknown* document) {
  ComPtr<IHTMLDocument2> html;
  HRESULT hr = document->QueryInterface(IID_IHTMLDocument2, html.putVoid());
  if (FAILED(hr)) return L"no-IHTMLDocument2";
  framework::UniqueBstr url;
  hr = html->get_URL(url.put());
  if (FAILED(hr) || !url) return L"no-URL";
  return url.get();
}

class Probe final : public IDispatch, public IObjectSafety, public IObjectWithSite {
 public:
  explicit Probe(Kind kind) : kind_(kind) { InterlockedIncrement(&liveObjects); }
  ~Probe() {
    record(L"destroyed");
    InterlockedDecrement(&liveObjects);
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *ppv = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(riid, IID_IObjectSafety)) {
      *ppv = static_cast<IObjectSafety*>(this);
    } else if (IsEqualIID(riid, IID_IObjectWithSite)) {
      *ppv = static_cast<IObjectWithSite*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo) override {
    if (typeInfo != nullptr) *typeInfo = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (names == nullptr || ids == nullptr || count != 1) return E_INVALIDARG;
    if (lstrcmpW(names[0], L"calls") != 0) {
      ids[0] = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    ids[0] = kCallsId;
    return S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                      UINT*) override {
    if (id != kCallsId || (flags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
    if (result == nullptr) return S_OK;
    VariantInit(result);
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = SysAllocStringLen(calls_.data(), static_cast<UINT>(calls_.size()));
    return V_BSTR(result) == nullptr ? E_OUTOFMEMORY : S_OK;
  }

  STDMETHODIMP GetInterfaceSafetyOptions(REFIID, DWORD* supported, DWORD* enabled) override {
    if (supported == nullptr || enabled == nullptr) return E_POINTER;
    *supported = kind_ != Kind::unsafe ? INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA : 0;
    *enabled = 0;
    return S_OK;
  }
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override {
    record(L"safety " + interfaceName(riid) + L" " + std::to_wstring(mask) + L"/" + std::to_wstring(enabled));
    return kind_ != Kind::unsafe ? S_OK : E_FAIL;
  }

  // Asks the new site for the page's document both ways a control can.
  STDMETHODIMP SetSite(IUnknown* site) override {
    site_.reset();
    if (site == nullptr) {
      record(L"unsite");
      return S_OK;
    }
    site->AddRef();
    *site_.put() = site;
    record(L"site");
    if (kind_ == Kind::leaky) site->AddRef();
    ComPtr<IServiceProvider> services;
    if (SUCCEEDED(site->QueryInterface(IID_IServiceProvider, services.putVoid()))) {
      ComPtr<IUnknown> document;
      HRESULT hr = services->QueryService(SID_SContainerDispatch, IID_IUnknown, document.putVoid());
      record(L"service-url " + (SUCCEEDED(hr) ? documentUrl(document.get()) : std::wstring(L"none")));
    }
    ComPtr<IOleClientSite> clientSite;
    if (SUCCEEDED(site->QueryInterface(IID_IOleClientSite, clientSite.putVoid()))) {
      ComPtr<IOleContainer> container;
      HRESULT hr = clientSite->GetContainer(container.put());
      record(L"container-url " + (SUCCEEDED(hr) ? documentUrl(container.get()) : std::wstring(L"none")));
    }
    return S_OK;
  }
  STDMETHODIMP GetSite(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    return site_ ? site_->QueryInterface(riid, ppv) : E_FAIL;
  }

 private:
  // Also on stderr, for calls that come after the script can read them.
  void record(const std::wstring& call) {
    if (!calls_.empty()) calls_ += L"; ";
    calls_ += call;
    std::string line = "site-probe: ";
    for (wchar_t c : call) line += c < 0x80 ? static_cast<char>(c) : '?';
    line += '\n';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

  ULONG references_ = 1;
  Kind kind_;
  std::wstring calls_;
  ComPtr<IUnknown> site_;
};

class ProbeFactory final : public IClassFactory {
 public:
  explicit ProbeFactory(Kind kind) : kind_(kind) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  // Static objects: no count.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* probe = new (std::nothrow) Probe(kind_);
    if (probe == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = probe->QueryInterface(riid, ppv);
    probe->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  Kind kind_;
};

ProbeFactory safeFactory(Kind::safe);
ProbeFactory unsafeFactory(Kind::unsafe);
ProbeFactory leakyFactory(Kind::leaky);

}  // namespace

STDAPI DllGetClassObject(REFCLSID classId, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualCLSID(classId, kSafeProbe)) return safeFactory.QueryInterface(riid, ppv);
  if (IsEqualCLSID(classId, kUnsafeProbe)) return unsafeFactory.QueryInterface(riid, ppv);
  if (IsEqualCLSID(classId, kLeakyProbe)) return leakyFactory.QueryInterface(riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return liveObjects == 0 ? S_OK : S_FALSE; }
