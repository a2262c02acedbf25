// A build locked to its sites (bin/locked/KorvelTool.dll, beside this
// program): its IObjectWithSite, and what it refuses without an allowed
// page. Pages themselves are driven through the page host (tests/site-lock).
#include <gtest/gtest.h>

#include <objsafe.h>
#include <ocidl.h>

#include <functional>

#include "framework/com_ptr.h"
#include "framework/handles.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/korvel_dll.h"

using framework::ComPtr;
using testing_support::KorvelDll;

namespace {

// A site that is only an object: no service provider, no client site, so
// no route to a document.
class CountedSite : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }
  ULONG references = 0;
};

ComPtr<IObjectWithSite> withSite(IKorvelIE* control) {
  ComPtr<IObjectWithSite> object;
  control->QueryInterface(IID_IObjectWithSite, object.putVoid());
  return object;
}

int windowsCreated = 0;

LRESULT CALLBACK countCreatedWindows(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) ++windowsCreated;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Windows created on this thread while a call runs.
int windowsCreatedDuring(const std::function<void()>& call) {
  windowsCreated = 0;
  HHOOK hook = SetWindowsHookExW(WH_CBT, countCreatedWindows, nullptr, GetCurrentThreadId());
  call();
  UnhookWindowsHookEx(hook);
  return windowsCreated;
}

std::wstring issuerDN(IKorvelIE* control) {
  framework::UniqueBstr text;
  control->get_IssuerDN(text.put());
  return text.get() ? text.get() : L"";
}

TEST(SiteLock, AnswersObjectWithSite) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  EXPECT_TRUE(withSite(control.get()));
}

TEST(SiteLock, GetSiteWithoutASiteFailsWithNull) {
  auto control = KorvelDll::instance().createControl();
  auto object = withSite(control.get());
  ASSERT_TRUE(object);
  IUnknown* site = reinterpret_cast<IUnknown*>(0x1);
  EXPECT_EQ(object->GetSite(IID_IUnknown, reinterpret_cast<void**>(&site)), E_FAIL);
  EXPECT_EQ(site, nullptr);
  EXPECT_EQ(object->GetSite(IID_IUnknown, nullptr), E_POINTER);
}

TEST(SiteLock, HoldsOneSiteAndReleasesItAgain) {
  CountedSite first, second;
  {
    auto control = KorvelDll::instance().createControl();
    auto object = withSite(control.get());
    ASSERT_TRUE(object);
    ASSERT_EQ(object->SetSite(&first), S_OK);
    EXPECT_EQ(first.references, 1u);

    IUnknown* got = nullptr;
    ASSERT_EQ(object->GetSite(IID_IUnknown, reinterpret_cast<void**>(&got)), S_OK);
    EXPECT_EQ(got, &first);
    got->Release();
    void* other = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object->GetSite(IID_IOleClientSite, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    ASSERT_EQ(object->SetSite(&second), S_OK);
    EXPECT_EQ(first.references, 0u) << "the site before";
    EXPECT_EQ(second.references, 1u);
    ASSERT_EQ(object->SetSite(nullptr), S_OK);
    EXPECT_EQ(second.references, 0u) << "SetSite(NULL)";

    ASSERT_EQ(object->SetSite(&first), S_OK);
  }
  EXPECT_EQ(first.references, 0u) << "the site at destruction";
}

// Without a page on the list: no dialog, no window, E_ACCESSDENIED (an
// exception to the page's script), and the outputs stay as they were.
TEST(SiteLock, RefusesToSignWithoutAnAllowedPage) {
  CountedSite noRoute;
  for (IUnknown* site : {static_cast<IUnknown*>(nullptr), static_cast<IUnknown*>(&noRoute)}) {
    SCOPED_TRACE(site ? "a site without a document" : "no site");
    auto control = KorvelDll::instance().createControl();
    ASSERT_EQ(withSite(control.get())->SetSite(site), S_OK);
    framework::UniqueBstr data(SysAllocString(L"data to sign"));
    ASSERT_EQ(control->put_IssuerDN(data.get()), S_OK);
    testing_support::DialogRun run;
    const int windows = windowsCreatedDuring([&] {
      run = testing_support::runSignRenewal(control.get(), testing_support::cancelDialog);
    });
    EXPECT_EQ(run.hr, E_ACCESSDENIED);
    EXPECT_EQ(run.result, 1u) << "a refused call never reads as signed";
    EXPECT_FALSE(run.sawDialog);
    EXPECT_EQ(windows, 0);
    EXPECT_EQ(issuerDN(control.get()), L"data to sign");
    framework::UniqueBstr certificate;
    ASSERT_EQ(control->get_CertData(certificate.put()), S_OK);
    EXPECT_EQ(SysStringLen(certificate.get()), 0u);
    // Puts and gets go on working.
    framework::UniqueBstr other(SysAllocString(L"other"));
    EXPECT_EQ(control->put_IssuerDN(other.get()), S_OK);
    EXPECT_EQ(issuerDN(control.get()), L"other");
  }
}

// Before a site is known the options work as in an unlocked build; once a
// refused site is known, a browser that asks is told the control is unsafe.
TEST(SiteLock, SafetyOptionsRefusedOnceARefusedSiteIsKnown) {
  auto control = KorvelDll::instance().createControl();
  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(control->QueryInterface(IID_IObjectSafety, safety.putVoid()), S_OK);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), S_OK);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 3u);
  EXPECT_EQ(enabled, 3u);

  CountedSite noRoute;
  ASSERT_EQ(withSite(control.get())->SetSite(&noRoute), S_OK);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), E_FAIL);
  supported = enabled = 0xFF;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 0u);
  EXPECT_EQ(enabled, 0u);

  ASSERT_EQ(withSite(control.get())->SetSite(nullptr), S_OK);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), S_OK);
}

}  // namespace
