// Late binding before the type library is registered. The control caches its
// type description per process, so this runs as its own program: a process
// that already loaded the description would bind regardless.
#include <gtest/gtest.h>

#include "tests/support/korvel_dll.h"

using testing_support::KorvelDll;

namespace {

TEST(DispatchUnregistered, LateBindingFailsCleanlyUntilTheLibraryIsRegistered) {
  testing_support::unregisterTypeLibrary();
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"SignRenewal")};
  HRESULT hr = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
  EXPECT_TRUE(FAILED(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)));
  EXPECT_EQ(info, nullptr);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_TRUE(FAILED(control->Invoke(4, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr)));
  // Early binding works regardless.
  EXPECT_EQ(control->put_IssuerDN(nullptr), S_OK);

  ASSERT_EQ(testing_support::registerTypeLibrary(), S_OK);
  EXPECT_EQ(control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  EXPECT_EQ(id, 6);
}

}  // namespace
