// Puts and gets of the scripting state, through the early-bound interface.
#include <gtest/gtest.h>

#include <string>

#include "framework/handles.h"
#include "tests/support/korvel_dll.h"
#include "tests/support/wide_text.h"

using framework::UniqueBstr;
using testing_support::KorvelDll;
using testing_support::makeBstr;

namespace {

std::wstring getIssuerDN(IKorvelIE* control) {
  UniqueBstr value;
  EXPECT_EQ(control->get_IssuerDN(value.put()), S_OK);
  EXPECT_NE(value.get(), nullptr);
  return value ? std::wstring(value.get(), SysStringLen(value.get())) : L"<null>";
}

TEST(ScriptingState, NewControlGivesEmptyOutputsNotNull) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  UniqueBstr issuer, cert;
  ASSERT_EQ(control->get_IssuerDN(issuer.put()), S_OK);
  ASSERT_EQ(control->get_CertData(cert.put()), S_OK);
  ASSERT_NE(issuer.get(), nullptr);
  ASSERT_NE(cert.get(), nullptr);
  EXPECT_EQ(SysStringLen(issuer.get()), 0u);
  EXPECT_EQ(SysStringLen(cert.get()), 0u);
}

struct TextPutCase {
  const char* name;
  std::wstring put;  // may hold embedded nulls
  bool nullBstr;
  std::wstring expected;
};

class IssuerDNPut : public ::testing::TestWithParam<TextPutCase> {};

TEST_P(IssuerDNPut, StoresTextUpToFirstNull) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  ASSERT_EQ(control->put_IssuerDN(UniqueBstr(makeBstr(L"previous")).get()), S_OK);
  UniqueBstr text(GetParam().nullBstr ? nullptr : makeBstr(GetParam().put));
  ASSERT_EQ(control->put_IssuerDN(text.get()), S_OK);
  EXPECT_EQ(getIssuerDN(control.get()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IssuerDNPut,
    ::testing::Values(TextPutCase{"plain", L"abc", false, L"abc"},
                      TextPutCase{"embeddedNull", std::wstring(L"ab\0cd", 5), false, L"ab"},
                      TextPutCase{"leadingNull", std::wstring(L"\0cd", 3), false, L""},
                      TextPutCase{"empty", L"", false, L""}, TextPutCase{"nullBstr", L"", true, L""},
                      TextPutCase{"japanese", L"\u7f72\u540d\u30c7\u30fc\u30bf", false, L"\u7f72\u540d\u30c7\u30fc\u30bf"},
                      TextPutCase{"long", std::wstring(100000, L'x'), false, std::wstring(100000, L'x')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScriptingState, GetReturnsAFreshCopyEachTime) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  ASSERT_EQ(control->put_IssuerDN(UniqueBstr(makeBstr(L"data")).get()), S_OK);
  UniqueBstr first, second;
  ASSERT_EQ(control->get_IssuerDN(first.put()), S_OK);
  ASSERT_EQ(control->get_IssuerDN(second.put()), S_OK);
  EXPECT_NE(first.get(), second.get());
  first.get()[0] = L'X';  // the caller owns its copy
  EXPECT_EQ(getIssuerDN(control.get()), L"data");
}

TEST(ScriptingState, NullResultPointersGiveEPointer) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  EXPECT_EQ(control->get_IssuerDN(nullptr), E_POINTER);
  EXPECT_EQ(control->get_CertData(nullptr), E_POINTER);
  EXPECT_EQ(control->SignRenewal(nullptr), E_POINTER);
}

TEST(ScriptingState, DisplayTextPutsAcceptAnyText) {
  auto control = KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  EXPECT_EQ(control->put_SelID_Text(nullptr), S_OK);
  EXPECT_EQ(control->put_SelID_Title(nullptr), S_OK);
  EXPECT_EQ(control->put_SelID_Text(UniqueBstr(makeBstr(L"prompt")).get()), S_OK);
  EXPECT_EQ(control->put_SelID_Title(UniqueBstr(makeBstr(L"title")).get()), S_OK);
  EXPECT_EQ(control->put_Server_Date(nullptr), S_OK);
  EXPECT_EQ(control->put_Server_Date(UniqueBstr(makeBstr(L"1e400")).get()), S_OK);
}

}  // namespace
