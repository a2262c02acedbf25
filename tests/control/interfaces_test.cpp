// The control's query table, safety options and error-info answers.
#include <gtest/gtest.h>

#include <objsafe.h>
#include <ocidl.h>

#include "framework/com_ptr.h"
#include "tests/support/korvel_dll.h"

using framework::ComPtr;
using testing_support::KorvelDll;

namespace {

IUnknown* queryRaw(IUnknown* object, REFIID riid, HRESULT* hr) {
  IUnknown* result = reinterpret_cast<IUnknown*>(0x1);
  *hr = object->QueryInterface(riid, reinterpret_cast<void**>(&result));
  return result;
}

TEST(QueryTable, IdentityInterfacesShareOnePointer) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  HRESULT hr;
  IUnknown* unknown = queryRaw(control.get(), IID_IUnknown, &hr);
  ASSERT_EQ(hr, S_OK);
  IUnknown* dispatch = queryRaw(control.get(), IID_IDispatch, &hr);
  ASSERT_EQ(hr, S_OK);
  IUnknown* korvel = queryRaw(control.get(), IID_IKorvelIE, &hr);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(control.get()));
  EXPECT_EQ(dispatch, unknown);
  EXPECT_EQ(korvel, unknown);
  unknown->Release();
  dispatch->Release();
  korvel->Release();
}

TEST(QueryTable, ErrorInfoAndSafetyAreAnsweredAndLeadBack) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  for (const IID* iid : {&IID_ISupportErrorInfo, &IID_IObjectSafety}) {
    HRESULT hr;
    IUnknown* found = queryRaw(control.get(), *iid, &hr);
    ASSERT_EQ(hr, S_OK);
    ASSERT_NE(found, nullptr);
    IUnknown* back = queryRaw(found, IID_IUnknown, &hr);
    EXPECT_EQ(back, static_cast<IUnknown*>(control.get()));
    back->Release();
    found->Release();
  }
}

TEST(QueryTable, OtherInterfacesAreRefusedWithNull) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  // IObjectWithSite belongs to builds locked to their sites only.
  for (const IID* iid : {&IID_IClassFactory, &IID_IPersist, &IID_IOleObject, &IID_IConnectionPointContainer,
                         &IID_IProvideClassInfo, &IID_IMarshal, &IID_IObjectWithSite}) {
    HRESULT hr;
    EXPECT_EQ(queryRaw(control.get(), *iid, &hr), nullptr);
    EXPECT_EQ(hr, E_NOINTERFACE);
  }
  EXPECT_EQ(control->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST(QueryTable, ReferenceCountsFollowAddRefAndRelease) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  EXPECT_EQ(control->AddRef(), 2u);
  EXPECT_EQ(control->Release(), 1u);
}

ComPtr<IObjectSafety> safetyOf(IKorvelIE* control) {
  ComPtr<IObjectSafety> safety;
  control->QueryInterface(IID_IObjectSafety, safety.putVoid());
  return safety;
}

TEST(ObjectSafety, ReportsSupportedAndCurrentOptions) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  auto safety = safetyOf(control.get());
  ASSERT_TRUE(safety);
  DWORD supported = 99, enabled = 99;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 3u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersist, &supported, &enabled), E_NOINTERFACE);
  EXPECT_EQ(supported, 0u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, nullptr), E_POINTER);
}

struct SafetyChange {
  DWORD mask;
  DWORD enabled;
  HRESULT hr;
  DWORD after;  // current options afterwards, starting from 3
};

class SetSafetyOptions : public ::testing::TestWithParam<SafetyChange> {};

TEST_P(SetSafetyOptions, ChangesOnlyTheMaskedBits) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  auto safety = safetyOf(control.get());
  ASSERT_EQ(safety->SetInterfaceSafetyOptions(IID_IKorvelIE, 3, 3), S_OK);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IKorvelIE, GetParam().mask, GetParam().enabled), GetParam().hr);
  DWORD supported = 0, enabled = 0;
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IUnknown, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Masks, SetSafetyOptions,
                         ::testing::Values(SafetyChange{3, 3, S_OK, 3}, SafetyChange{1, 0, S_OK, 2},
                                           SafetyChange{2, 0, S_OK, 1}, SafetyChange{3, 0, S_OK, 0},
                                           SafetyChange{1, 0xFFFFFFFE, S_OK, 2}, SafetyChange{0, 0, S_OK, 3},
                                           SafetyChange{4, 0, E_FAIL, 3}, SafetyChange{7, 0, E_FAIL, 3}));

TEST(ObjectSafety, UnansweredInterfaceIsRefused) {
  auto control = KorvelDll::instance().createControl();
  auto safety = safetyOf(control.get());
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IPersist, 3, 3), E_NOINTERFACE);
  DWORD supported = 0, enabled = 9;
  safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled);
  EXPECT_EQ(enabled, 0u);
}

TEST(ErrorInfo, OnlyTheScriptingInterfaceSupportsIt) {
  auto control = KorvelDll::instance().createControl();
  ComPtr<ISupportErrorInfo> errorInfo;
  ASSERT_EQ(control->QueryInterface(IID_ISupportErrorInfo, errorInfo.putVoid()), S_OK);
  EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IKorvelIE), S_OK);
  EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IUnknown), S_FALSE);
}

}  // namespace
