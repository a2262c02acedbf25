// The class object, aggregation and the module's lock count.
#include <gtest/gtest.h>

#include <objsafe.h>

#include "framework/com_ptr.h"
#include "tests/support/korvel_dll.h"

using framework::ComPtr;
using testing_support::KorvelDll;

namespace {

const KorvelDll& dll() { return KorvelDll::instance(); }

ComPtr<IClassFactory> classFactory() {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(dll().getClassObject(CLSID_KorvelIE, IID_IClassFactory, factory.putVoid()), S_OK);
  return factory;
}

TEST(ClassObject, UnknownClassIsNotAvailable) {
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(dll().getClassObject(IID_IKorvelIE, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(dll().getClassObject(CLSID_KorvelIE, IID_IClassFactory, nullptr), E_POINTER);
}

TEST(ClassObject, IsCachedAndHoldsTheModuleWhileReferenced) {
  ASSERT_EQ(dll().canUnloadNow(), S_OK);
  auto first = classFactory();
  auto second = classFactory();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first.get(), second.get());
  EXPECT_EQ(dll().canUnloadNow(), S_FALSE);
  first.reset();
  EXPECT_EQ(dll().canUnloadNow(), S_FALSE);
  second.reset();
  EXPECT_EQ(dll().canUnloadNow(), S_OK);
}

TEST(ClassObject, UnansweredInterfaceStillCachesTheObject) {
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(dll().getClassObject(CLSID_KorvelIE, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(dll().canUnloadNow(), S_OK);
  ComPtr<IUnknown> unknown, again;
  ASSERT_EQ(dll().getClassObject(CLSID_KorvelIE, IID_IUnknown, unknown.putVoid()), S_OK);
  ASSERT_EQ(dll().getClassObject(CLSID_KorvelIE, IID_IClassFactory, again.putVoid()), S_OK);
  ComPtr<IUnknown> identity;
  again->QueryInterface(IID_IUnknown, identity.putVoid());
  EXPECT_EQ(identity.get(), unknown.get());
}

TEST(ClassObject, CreateInstanceChecksItsArguments) {
  auto factory = classFactory();
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IKorvelIE, nullptr), E_POINTER);
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  factory.reset();
  EXPECT_EQ(dll().canUnloadNow(), S_OK);  // the refused control is gone again
}

TEST(ClassObject, ControlHoldsTheModuleUntilReleased) {
  auto control = dll().createControl();
  ASSERT_TRUE(control);
  EXPECT_EQ(dll().canUnloadNow(), S_FALSE);
  control.reset();
  EXPECT_EQ(dll().canUnloadNow(), S_OK);
}

TEST(ClassObject, LockServerCountsWithoutBalanceChecks) {
  auto factory = classFactory();
  IClassFactory* raw = factory.get();
  raw->AddRef();  // keep the object without holding the lock it adds
  factory.reset();
  ASSERT_EQ(dll().canUnloadNow(), S_FALSE);
  raw->Release();
  ASSERT_EQ(dll().canUnloadNow(), S_OK);

  factory = classFactory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);  // one too many: count below 0
  factory.reset();
  EXPECT_EQ(dll().canUnloadNow(), S_FALSE);
  factory = classFactory();
  factory->LockServer(TRUE);
  factory.reset();
  EXPECT_EQ(dll().canUnloadNow(), S_OK);
  factory = classFactory();
  factory->LockServer(TRUE);
  factory.reset();
  EXPECT_EQ(dll().canUnloadNow(), S_FALSE);
  classFactory()->LockServer(FALSE);
  EXPECT_EQ(dll().canUnloadNow(), S_OK);
}

// An outer object that aggregates the control and counts its own references.
class Outer final : public IUnknown {
 public:
  LONG refs = 1;
  IUnknown* inner = nullptr;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
};

TEST(Aggregation, OnlyTheInnerUnknownMayBeAskedFor) {
  Outer outer;
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(classFactory()->CreateInstance(&outer, IID_IKorvelIE, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(outer.refs, 1);
}

TEST(Aggregation, OuterObjectOwnsIdentityAndLifetime) {
  Outer outer;
  ASSERT_EQ(classFactory()->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
  ASSERT_NE(outer.inner, nullptr);
  EXPECT_EQ(outer.refs, 1);  // creation adds no reference to the outer object
  EXPECT_EQ(dll().canUnloadNow(), S_FALSE);

  IKorvelIE* control = nullptr;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IKorvelIE, reinterpret_cast<void**>(&control)), S_OK);
  EXPECT_EQ(outer.refs, 2);  // the reference went to the outer object
  IUnknown* identity = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  identity->Release();
  control->AddRef();
  EXPECT_EQ(outer.refs, 3);
  control->Release();
  control->Release();
  EXPECT_EQ(outer.refs, 1);

  IUnknown* innerAgain = nullptr;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&innerAgain)), S_OK);
  EXPECT_EQ(innerAgain, outer.inner);
  EXPECT_EQ(outer.refs, 1);  // the inner unknown counts itself
  EXPECT_EQ(innerAgain->Release(), 1u);

  // The safety interface asks the outer object which interfaces exist.
  IObjectSafety* safety = nullptr;
  ASSERT_EQ(outer.QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)), S_OK);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IKorvelIE, &supported, &enabled), S_OK);
  safety->Release();

  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(dll().canUnloadNow(), S_OK);
}

}  // namespace
