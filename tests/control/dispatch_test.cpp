// Late binding through IDispatch, driven by the registered type library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/com_ptr.h"
#include "framework/handles.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/korvel_dll.h"
#include "tests/support/wide_text.h"

using framework::ComPtr;
using framework::UniqueBstr;
using testing_support::KorvelDll;

namespace {

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(testing_support::registerTypeLibrary(), S_OK);
    control_ = KorvelDll::instance().createControl();
    ASSERT_TRUE(control_);
  }

  DISPID idOf(const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    EXPECT_EQ(control_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << name;
    return id;
  }

  HRESULT putText(DISPID id, const wchar_t* text) {
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(text);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&argument, &named, 1, 1};
    HRESULT hr = control_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                                  nullptr, nullptr);
    VariantClear(&argument);
    return hr;
  }

  HRESULT get(DISPID id, WORD flags, VARIANT* result) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return control_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, result, nullptr, nullptr);
  }

  std::wstring getText(DISPID id) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(get(id, DISPATCH_PROPERTYGET, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    std::wstring text = result.vt == VT_BSTR && result.bstrVal ? result.bstrVal : L"";
    VariantClear(&result);
    return text;
  }

  ComPtr<IKorvelIE> control_;
};

TEST_F(Dispatch, NamesResolveToTheirDispids) {
  const std::pair<const wchar_t*, DISPID> members[] = {{L"SelID_Text", 1}, {L"SelID_Title", 2},
                                                       {L"Server_Date", 3}, {L"IssuerDN", 4},
                                                       {L"CertData", 5},   {L"SignRenewal", 6}};
  for (const auto& [name, id] : members) EXPECT_EQ(idOf(name), id) << testing_support::utf8(name);
}

TEST_F(Dispatch, NameLookupIgnoresCaseThroughTheTypeDescription) {
  EXPECT_EQ(idOf(L"SignRenewal"), 6);
  EXPECT_EQ(idOf(L"signrenewal"), 6);
  EXPECT_EQ(idOf(L"SIGNRENEWAL"), 6);
  EXPECT_EQ(idOf(L"issuerdn"), 4);
}

TEST_F(Dispatch, UnknownNamesAreRefusedByTheTypeDescription) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
  EXPECT_EQ(control_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
  LPOLESTR two[] = {const_cast<LPOLESTR>(L"SignRenewal"), const_cast<LPOLESTR>(L"x")};
  DISPID ids[2] = {};
  EXPECT_NE(control_->GetIDsOfNames(IID_NULL, two, 2, LOCALE_USER_DEFAULT, ids), S_OK);
}

TEST_F(Dispatch, TypeInfoCountAndIndex) {
  UINT count = 0;
  EXPECT_EQ(control_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(control_->GetTypeInfoCount(nullptr), E_POINTER);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(0x1);
  EXPECT_EQ(control_->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX);
  EXPECT_EQ(control_->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr), E_POINTER);
  ComPtr<ITypeInfo> typeInfo, again;
  ASSERT_EQ(control_->GetTypeInfo(0, LOCALE_USER_DEFAULT, typeInfo.put()), S_OK);
  ASSERT_EQ(control_->GetTypeInfo(0, LOCALE_USER_DEFAULT, again.put()), S_OK);
  EXPECT_EQ(typeInfo.get(), again.get());  // one description per process
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(typeInfo->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_IKorvelIE));
  typeInfo->ReleaseTypeAttr(attributes);
}

TEST_F(Dispatch, PutsAndGetsGoThroughInvoke) {
  EXPECT_EQ(putText(4, L"to sign"), S_OK);
  EXPECT_EQ(getText(4), L"to sign");
  EXPECT_EQ(putText(1, L"prompt"), S_OK);
  EXPECT_EQ(putText(2, L"title"), S_OK);
  EXPECT_EQ(putText(3, L"1600000000999"), S_OK);
  EXPECT_EQ(getText(5), L"");
}

TEST_F(Dispatch, WriteOnlyAndReadOnlyMembersRefuseTheOtherDirection) {
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(get(1, DISPATCH_PROPERTYGET, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(putText(5, L"x"), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(get(99, DISPATCH_METHOD, &result), DISP_E_MEMBERNOTFOUND);
}

TEST_F(Dispatch, SignRenewalIsAMethodReturningTheResultCode) {
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = E_FAIL;
  auto run = [&] { hr = get(6, DISPATCH_METHOD, &result); };
  // Run the late-bound call with the dialog cancelled from the modal loop.
  struct Runner {
    static void CALLBACK cancelWhenOpen(HWND, UINT, UINT_PTR id, DWORD) {
      HWND dialog = FindWindowW(L"#32770", nullptr);
      if (dialog == nullptr) return;
      KillTimer(nullptr, id);
      testing_support::cancelDialog(dialog);
    }
    static void go(const std::function<void()>& call) {
      UINT_PTR timer = SetTimer(nullptr, 0, 10, cancelWhenOpen);
      call();
      KillTimer(nullptr, timer);
    }
  };
  Runner::go(run);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(result.vt, VT_UI4);
  EXPECT_EQ(result.ulVal, 0x80001067u);
}

// Help strings are stored in code page 932 and must read back exactly.
TEST_F(Dispatch, TypeLibraryDescribesTheControlInJapanese) {
  ASSERT_EQ(GetACP(), 932u) << "the test prefix must run with the Japanese ANSI code page";
  ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadRegTypeLib(LIBID_KorvelToolLib, 1, 0, LOCALE_USER_DEFAULT, library.put()), S_OK);
  auto doc = [&](INT index, std::wstring* name) {
    BSTR n = nullptr, help = nullptr;
    EXPECT_EQ(library->GetDocumentation(index, &n, &help, nullptr, nullptr), S_OK);
    UniqueBstr ownedName(n), ownedHelp(help);
    if (name) *name = n ? n : L"";
    return std::wstring(help ? help : L"");
  };
  std::wstring name;
  EXPECT_EQ(doc(-1, &name), L"更新画面のインターフェースを提供するライブラリ");
  EXPECT_EQ(name, L"KorvelToolLib");

  ComPtr<ITypeInfo> coclass, iface;
  ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_KorvelIE, coclass.put()), S_OK);
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IKorvelIE, iface.put()), S_OK);
  BSTR help = nullptr, n = nullptr;
  ASSERT_EQ(coclass->GetDocumentation(MEMBERID_NIL, &n, &help, nullptr, nullptr), S_OK);
  EXPECT_STREQ(n, L"KorvelIE");
  EXPECT_STREQ(help, L"更新画面のインターフェースを提供するクラス");
  SysFreeString(n);
  SysFreeString(help);
  ASSERT_EQ(iface->GetDocumentation(MEMBERID_NIL, &n, &help, nullptr, nullptr), S_OK);
  EXPECT_STREQ(n, L"IKorvelIE");
  EXPECT_STREQ(help, L"自動承認Webへのやり取りをする関数群を提供するインターフェース");
  SysFreeString(n);
  SysFreeString(help);

  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FCANCREATE);
  EXPECT_EQ(attributes->cImplTypes, 1);
  coclass->ReleaseTypeAttr(attributes);
  INT implFlags = 0;
  ASSERT_EQ(coclass->GetImplTypeFlags(0, &implFlags), S_OK);
  EXPECT_TRUE(implFlags & IMPLTYPEFLAG_FDEFAULT);

  // The interface itself (the dual's vtable side) with its seven members.
  HREFTYPE ref = 0;
  ComPtr<ITypeInfo> vtable;
  if (SUCCEEDED(iface->GetRefTypeOfImplType(-1, &ref))) iface->GetRefTypeInfo(ref, vtable.put());
  ITypeInfo* members = vtable ? vtable.get() : iface.get();
  ASSERT_EQ(members->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
  EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FNONEXTENSIBLE);
  EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FOLEAUTOMATION);
  EXPECT_EQ(attributes->cFuncs, 7);
  members->ReleaseTypeAttr(attributes);

  struct Member {
    MEMBERID id;
    INVOKEKIND kind;
    const wchar_t* name;
    const wchar_t* parameter;  // named parameter, or null when unnamed
    const wchar_t* help;
  };
  const Member expected[] = {
      {1, INVOKE_PROPERTYPUT, L"SelID_Text", nullptr, L"自動承認Webから表示文字列を設定"},
      {2, INVOKE_PROPERTYPUT, L"SelID_Title", nullptr, L"自動承認Webからタイトル文字列を設定"},
      {3, INVOKE_PROPERTYPUT, L"Server_Date", nullptr, L"自動承認Webからサーバー日付を設定"},
      {4, INVOKE_PROPERTYPUT, L"IssuerDN", nullptr, L"自動承認Webから署名データを設定"},
      {4, INVOKE_PROPERTYGET, L"IssuerDN", L"retVal", L"自動承認Webから署名データを取得"},
      {5, INVOKE_PROPERTYGET, L"CertData", L"retVal", L"自動承認Webから証明書(公開鍵)を取得"},
      {6, INVOKE_FUNC, L"SignRenewal", L"retVal", L"更新画面を起動"},
  };
  for (UINT i = 0; i < 7; ++i) {
    const Member& member = expected[i];
    FUNCDESC* function = nullptr;
    ASSERT_EQ(members->GetFuncDesc(i, &function), S_OK);
    EXPECT_EQ(function->memid, member.id) << i;
    EXPECT_EQ(function->invkind, member.kind) << i;
    EXPECT_EQ(function->cParams, 1) << i;
    members->ReleaseFuncDesc(function);
    // Names and help strings are looked up by member id, which answers for
    // the first function with that id (the put of IssuerDN).
    if (member.id == 4 && member.kind == INVOKE_PROPERTYGET) continue;
    BSTR names[3] = {};
    UINT count = 0;
    ASSERT_EQ(members->GetNames(member.id, names, 3, &count), S_OK);
    EXPECT_STREQ(names[0], member.name);
    EXPECT_EQ(count, member.parameter ? 2u : 1u) << i;
    if (member.parameter && count == 2) {
      EXPECT_STREQ(names[1], member.parameter);
    }
    for (UINT k = 0; k < count; ++k) SysFreeString(names[k]);
    ASSERT_EQ(members->GetDocumentation(member.id, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(help, member.help) << i;
    SysFreeString(help);
  }
}

}  // namespace
