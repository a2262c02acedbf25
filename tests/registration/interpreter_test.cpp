// The registration script interpreter against the prefix's real registry.
// Every case works below HKCU\Software\KorvelTest, which is deleted before
// and after it.
#include <gtest/gtest.h>

#include <aclapi.h>

#include <string>
#include <vector>

#include "framework/handles.h"
#include "registration/reg_object.h"
#include "tests/registration/handle_count.h"
#include "tests/registration/key_access.h"
#include "tests/registration/registry_snapshot.h"
#include "tests/support/wide_text.h"

using registration_tests::snapshot;
using registration_tests::textLine;
using Lines = std::vector<std::string>;

namespace {

constexpr wchar_t kScratch[] = L"Software\\KorvelTest";

// A script whose body runs inside HKCU\Software\KorvelTest.
std::wstring inScratch(const std::wstring& body) {
  return L"HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tNoRemove KorvelTest\r\n\t\t{\r\n" + body +
         L"\r\n\t\t}\r\n\t}\r\n}\r\n";
}

HRESULT runScript(const std::wstring& script, bool doRegister) {
  registration::CRegObject registrar;
  registrar.AddVariable(L"Module", L"C:\\Program Files\\it''s\\KorvelTool.dll");
  registrar.AddVariable(L"Percent", L"50% HKCR %Module% {");
  registrar.AddVariable(L"Module", L"second definition, never used");
  return registrar.RunScript(script.c_str(), doRegister);
}

Lines scratchContent() { return snapshot(HKEY_CURRENT_USER, kScratch); }

class ScratchRegistry : public testing::Test {
 protected:
  void SetUp() override {
    perUserRegistration = false;
    registration_tests::deleteTree(HKEY_CURRENT_USER, kScratch);
  }
  void TearDown() override {
    perUserRegistration = false;
    registration_tests::deleteTree(HKEY_CURRENT_USER, kScratch);
  }
};

// Registration of one script: its result and what is below the scratch key.
struct RegisterCase {
  const char* name;
  std::wstring script;  // run as it is (not wrapped)
  HRESULT result;
  Lines content;
};

std::string caseName(const testing::TestParamInfo<RegisterCase>& info) { return info.param.name; }
void PrintTo(const RegisterCase& c, std::ostream* os) { *os << c.name; }

class Registering : public ScratchRegistry, public testing::WithParamInterface<RegisterCase> {};

TEST_P(Registering, GivesResultAndContent) {
  const RegisterCase& c = GetParam();
  const HRESULT hr = runScript(c.script, true);
  EXPECT_EQ(hr, c.result) << std::hex << hr;
  EXPECT_EQ(scratchContent(), c.content);
}

const std::wstring k4094(4094, L'x');
const std::string k4094Narrow(4094, 'x');

INSTANTIATE_TEST_SUITE_P(
    Expansion, Registering,
    testing::Values(
        RegisterCase{"EmptyScript", L"", S_OK, {}},
        RegisterCase{"WhitespaceOnly", L" \t\r\n", DISP_E_EXCEPTION, {}},
        RegisterCase{"WhitespaceAfterTheLastBlock", inScratch(L"K = s 'v'") + L" \r\n\t ", S_OK,
                     {"K", textLine("K", "@", "v")}},
        RegisterCase{"ModuleInUpperCase", inScratch(L"K = s '%MODULE%'"), S_OK,
                     {"K", textLine("K", "@", "C:\\Program Files\\it's\\KorvelTool.dll")}},
        RegisterCase{"ModuleInLowerCase", inScratch(L"K = s '%module%'"), S_OK,
                     {"K", textLine("K", "@", "C:\\Program Files\\it's\\KorvelTool.dll")}},
        RegisterCase{"DoublePercent", inScratch(L"K = s '100%% sure'"), S_OK,
                     {"K", textLine("K", "@", "100% sure")}},
        RegisterCase{"DoublePercentInAKeyName", inScratch(L"a%%b"), S_OK, {"a%b"}},
        RegisterCase{"ValueNotExpandedAgain", inScratch(L"K = s '%percent%'"), S_OK,
                     {"K", textLine("K", "@", "50% HKCR %Module% {")}},
        RegisterCase{"UnknownVariable", inScratch(L"K = s '%NoSuchName%'"), DISP_E_EXCEPTION, {}},
        RegisterCase{"NameOf31Characters", inScratch(L"K = s '%" + std::wstring(31, L'N') + L"%'"),
                     DISP_E_EXCEPTION, {}},
        RegisterCase{"NameOf32Characters", inScratch(L"K = s '%" + std::wstring(32, L'N') + L"%'"), E_FAIL, {}},
        RegisterCase{"LonePercentAtTheEnd", inScratch(L"K") + L"%", DISP_E_EXCEPTION, {}},
        RegisterCase{"PercentWithoutItsPair", inScratch(L"K = s '%Module'"), DISP_E_EXCEPTION, {}}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Tokens, Registering,
    testing::Values(
        RegisterCase{"DoubledQuoteInAQuotedToken", inScratch(L"K = s 'it''s'"), S_OK,
                     {"K", textLine("K", "@", "it's")}},
        RegisterCase{"QuotedTokenWithBracesAndBlanks", inScratch(L"K = s '{ a = b }'"), S_OK,
                     {"K", textLine("K", "@", "{ a = b }")}},
        RegisterCase{"QuotedKeyName", inScratch(L"'two words' = s ''"), S_OK,
                     {"two words", textLine("two words", "@", "")}},
        RegisterCase{"UnterminatedQuote", inScratch(L"K = s 'open"), DISP_E_EXCEPTION, {}},
        RegisterCase{"QuotedTokenOf4094", inScratch(L"K = s '" + k4094 + L"'"), S_OK,
                     {"K", textLine("K", "@", k4094Narrow)}},
        RegisterCase{"QuotedTokenOf4095", inScratch(L"K = s '" + k4094 + L"x'"), DISP_E_EXCEPTION, {}},
        RegisterCase{"PlainTokenOf4095", inScratch(L"K = s " + k4094 + L"x"), DISP_E_EXCEPTION, {}},
        RegisterCase{"TabsAndLineFeedsOnly", L"HKCU\n{\tNoRemove\tSoftware\n{\nNoRemove KorvelTest\r{\tK\t}\n}\n}",
                     S_OK, {"K"}},
        RegisterCase{"UnknownRoot", L"HKXX\r\n{\r\n}\r\n", DISP_E_EXCEPTION, {}},
        RegisterCase{"RootWithoutBlock", L"HKCU\r\nSoftware\r\n", DISP_E_EXCEPTION, {}},
        RegisterCase{"RootInLowerCase", L"hkcu { NoRemove Software { NoRemove KorvelTest { K } } }", S_OK, {"K"}},
        RegisterCase{"LongRootName",
                     L"HKEY_CURRENT_USER { NoRemove Software { NoRemove KorvelTest { K } } }", S_OK, {"K"}},
        RegisterCase{"EndOfTextInsideABlock", L"HKCU { NoRemove Software { NoRemove KorvelTest { K ",
                     DISP_E_EXCEPTION, {}}),
    caseName);

INSTANTIATE_TEST_SUITE_P(
    Values, Registering,
    testing::Values(
        RegisterCase{"BinaryMixedCase", inScratch(L"K { val v = b 0a1B }"), S_OK, {"K", "K : v = BINARY 0a 1b"}},
        RegisterCase{"BinaryNonDigitsCountAsZero", inScratch(L"K { val v = b zz }"), S_OK, {"K", "K : v = BINARY 00"}},
        RegisterCase{"BinaryEmpty", inScratch(L"K { val v = b '' }"), S_OK, {"K", "K : v = BINARY "}},
        RegisterCase{"BinaryOddLength", inScratch(L"K { val v = b abc }"), E_FAIL, {}},
        RegisterCase{"MultiString", inScratch(L"K { val v = m 'a\\0b' }"), S_OK,
                     {"K", "K : v = MULTI_SZ 61 00 00 00 62 00 00 00 00 00"}},
        RegisterCase{"MultiStringEndsAtAnEmptyString", inScratch(L"K { val v = m 'a\\0\\0b' }"), S_OK,
                     {"K", "K : v = MULTI_SZ 61 00 00 00 00 00"}},
        RegisterCase{"BackslashWithoutZeroStays", inScratch(L"K { val v = m 'a\\b' }"), S_OK,
                     {"K", "K : v = MULTI_SZ 61 00 5c 00 62 00 00 00 00 00"}},
        RegisterCase{"String", inScratch(L"K { val v = s 'text' }"), S_OK, {"K", textLine("K", "v", "text")}},
        RegisterCase{"TypeInUpperCase", inScratch(L"K { val v = S 'text' }"), S_OK,
                     {"K", textLine("K", "v", "text")}},
        RegisterCase{"DefaultValueOfAKey", inScratch(L"K = s 'text'"), S_OK, {"K", textLine("K", "@", "text")}},
        RegisterCase{"Dword", inScratch(L"K { val v = d '12' }"), S_OK, {"K", "K : v = DWORD 0x0000000c"}},
        RegisterCase{"DwordLargest", inScratch(L"K { val v = d 4294967295 }"), S_OK,
                     {"K", "K : v = DWORD 0xffffffff"}},
        RegisterCase{"DwordZero", inScratch(L"K { val v = d 0 }"), S_OK, {"K", "K : v = DWORD 0x00000000"}},
        // A text that is no unsigned 32-bit number is refused, never written as 0.
        RegisterCase{"DwordNotANumber", inScratch(L"K { val v = d 'twelve' }"), DISP_E_TYPEMISMATCH, {}},
        RegisterCase{"DwordTooLarge", inScratch(L"K { val v = d 4294967296 }"), DISP_E_OVERFLOW, {}},
        RegisterCase{"DwordNegative", inScratch(L"K { val v = d '-1' }"), DISP_E_OVERFLOW, {}},
        RegisterCase{"DwordEmpty", inScratch(L"K { val v = d '' }"), DISP_E_TYPEMISMATCH, {}},
        RegisterCase{"UnknownType", inScratch(L"K { val v = x 'text' }"), DISP_E_EXCEPTION, {}},
        RegisterCase{"TypeOfTwoLetters", inScratch(L"K { val v = sz 'text' }"), DISP_E_EXCEPTION, {}},
        RegisterCase{"ValWithoutAssignment", inScratch(L"K { val v s 'text' }"), DISP_E_EXCEPTION, {}},
        // A block after a value entry has no key of its own: refused.
        RegisterCase{"BlockAfterAValue", inScratch(L"K { val v = s 'x' { Child } }"), DISP_E_EXCEPTION, {}},
        RegisterCase{"BlockAfterADeletion", inScratch(L"K { Delete Gone { Child } }"), DISP_E_EXCEPTION, {}}),
    caseName);

// Rollback: the failing root block is unregistered from its start, so that
// nothing the block names is left, and later root blocks are not read.
INSTANTIATE_TEST_SUITE_P(
    Rollback, Registering,
    testing::Values(
        RegisterCase{"BackslashInAKeyName",
                     inScratch(L"Good = s 'x' { Inner { val v = s 'y' } }\r\nBad\\Name = s 'z'"), DISP_E_EXCEPTION,
                     {}},
        RegisterCase{"BackslashAfterForceRemove", inScratch(L"Good\r\nForceRemove Bad\\Name"), DISP_E_EXCEPTION, {}},
        RegisterCase{"BackslashInANestedBlock", inScratch(L"Good { Deeper { Bad\\Name } }"), DISP_E_EXCEPTION, {}},
        // An empty name would stand for the parent key itself.
        RegisterCase{"EmptyKeyName", inScratch(L"Good { '' }"), DISP_E_EXCEPTION, {}},
        RegisterCase{"LaterBlocksAreNotRead",
                     inScratch(L"Bad\\Name") + inScratch(L"Later = s 'never'"), DISP_E_EXCEPTION, {}},
        RegisterCase{"EarlierBlocksStay", inScratch(L"Earlier") + inScratch(L"Good\r\nBad\\Name"),
                     DISP_E_EXCEPTION, {"Earlier"}}),
    caseName);

TEST_F(ScratchRegistry, RollbackRemovesWhatExistedBeforeButKeepsForeignSubkeys) {
  registration_tests::createKey(HKEY_CURRENT_USER, L"Software\\KorvelTest\\Named", L"old");
  registration_tests::createKey(HKEY_CURRENT_USER, L"Software\\KorvelTest\\Extended\\Foreign");
  EXPECT_EQ(runScript(inScratch(L"Named = s 'new'\r\nExtended = s 'x'\r\nBad\\Name"), true), DISP_E_EXCEPTION);
  EXPECT_EQ(scratchContent(), (Lines{"Extended", "Extended : @ = SZ x", "Extended\\Foreign"}));
}

TEST_F(ScratchRegistry, ForceRemoveOfAnEmptyNameSparesTheParent) {
  registration_tests::createKey(HKEY_CURRENT_USER, L"Software\\KorvelTest\\Foreign");
  EXPECT_EQ(runScript(inScratch(L"ForceRemove ''"), true), DISP_E_EXCEPTION);
  EXPECT_EQ(scratchContent(), Lines{"Foreign"});
}

// ForceRemove on an existing key: protected names keep the key and all below.
struct ForceRemoveCase {
  const wchar_t* name;
  bool kept;
};

void PrintTo(const ForceRemoveCase& c, std::ostream* os) { *os << testing_support::utf8(c.name); }

class ForceRemoving : public ScratchRegistry, public testing::WithParamInterface<ForceRemoveCase> {};

TEST_P(ForceRemoving, ReplacesTheKeyUnlessItsNameIsProtected) {
  const std::wstring name = GetParam().name;
  const std::string narrowName = testing_support::utf8(name);
  registration_tests::createKey(HKEY_CURRENT_USER, std::wstring(kScratch) + L"\\" + name + L"\\Foreign\\Deep",
                                L"foreign");
  ASSERT_EQ(runScript(inScratch(L"ForceRemove '" + name + L"' { Mine }"), true), S_OK);
  Lines expected = {narrowName, narrowName + "\\Mine"};
  if (GetParam().kept) {
    expected = {narrowName, narrowName + "\\Foreign", narrowName + "\\Foreign\\Deep",
                textLine(narrowName + "\\Foreign\\Deep", "@", "foreign"), narrowName + "\\Mine"};
  }
  EXPECT_EQ(scratchContent(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ForceRemoving,
    testing::Values(ForceRemoveCase{L"AppID", true}, ForceRemoveCase{L"CLSID", true},
                    ForceRemoveCase{L"clsid", true}, ForceRemoveCase{L"Component Categories", true},
                    ForceRemoveCase{L"FileType", true}, ForceRemoveCase{L"Interface", true},
                    ForceRemoveCase{L"Hardware", true}, ForceRemoveCase{L"Mime", true}, ForceRemoveCase{L"SAM", true},
                    ForceRemoveCase{L"SECURITY", true}, ForceRemoveCase{L"SYSTEM", true},
                    ForceRemoveCase{L"Software", true}, ForceRemoveCase{L"TypeLib", true},
                    ForceRemoveCase{L"CLSIDs", false}, ForceRemoveCase{L"Other", false},
                    ForceRemoveCase{L"Type Lib", false}),
    [](const testing::TestParamInfo<ForceRemoveCase>& info) {
      std::string name;
      for (const wchar_t* c = info.param.name; *c != 0; ++c) {
        name += *c == L' ' ? '_' : static_cast<char>(*c);
      }
      return name + (info.index == 2 ? "_lower" : "");
    });

TEST_F(ScratchRegistry, DeleteRemovesTheTreeAndCreatesNothing) {
  registration_tests::createKey(HKEY_CURRENT_USER, L"Software\\KorvelTest\\Gone\\Child");
  registration_tests::createKey(HKEY_CURRENT_USER, L"Software\\KorvelTest\\Stays");
  EXPECT_EQ(runScript(inScratch(L"Delete Gone = s 'ignored'\r\nDelete NeverThere"), true), S_OK);
  EXPECT_EQ(scratchContent(), Lines{"Stays"});
}

TEST_F(ScratchRegistry, DeleteSparesProtectedNames) {
  registration_tests::createKey(HKEY_CURRENT_USER, L"Software\\KorvelTest\\TypeLib\\Child");
  EXPECT_EQ(runScript(inScratch(L"Delete TypeLib"), true), S_OK);
  EXPECT_EQ(scratchContent(), (Lines{"TypeLib", "TypeLib\\Child"}));
}

TEST_F(ScratchRegistry, RegisteringTwiceGivesTheSameContent) {
  const std::wstring script = inScratch(L"K = s 'v' { val n = d 7\r\nChild = s 'c' }");
  ASSERT_EQ(runScript(script, true), S_OK);
  Lines once = scratchContent();
  ASSERT_EQ(runScript(script, true), S_OK);
  EXPECT_EQ(scratchContent(), once);
}

// Unregistration against content laid down first by registration of `setUp`.
struct UnregisterCase {
  const char* name;
  std::wstring setUp;   // registered first (empty: nothing)
  std::wstring script;  // then unregistered
  HRESULT result;
  Lines content;
};

void PrintTo(const UnregisterCase& c, std::ostream* os) { *os << c.name; }

class Unregistering : public ScratchRegistry, public testing::WithParamInterface<UnregisterCase> {};

TEST_P(Unregistering, GivesResultAndContent) {
  const UnregisterCase& c = GetParam();
  if (!c.setUp.empty()) {
    ASSERT_EQ(runScript(inScratch(c.setUp), true), S_OK);
  }
  EXPECT_EQ(runScript(inScratch(c.script), false), c.result);
  EXPECT_EQ(scratchContent(), c.content);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Unregistering,
    testing::Values(
        UnregisterCase{"RemovesWhatRegistrationWrote", L"K = s 'v' { val n = s 'x'\r\nChild { Deeper } }",
                       L"K = s 'v' { val n = s 'x'\r\nChild { Deeper } }", S_OK, {}},
        UnregisterCase{"MissingKeysChangeNothing", L"Other", L"Missing = s 'v' { val n = s 'x'\r\nChild { Deeper } }",
                       S_OK, {"Other"}},
        UnregisterCase{"KeepsANoRemoveKeyButRemovesItsEntries", L"Keep = s 'k' { Inner { Deeper } }",
                       L"NoRemove Keep { Inner { Deeper } }", S_OK, {"Keep", textLine("Keep", "@", "k")}},
        UnregisterCase{"KeepsAKeyWithForeignSubkeys", L"Mine { Named\r\nForeign }", L"Mine { Named }", S_OK,
                       {"Mine", "Mine\\Foreign"}},
        UnregisterCase{"RemovesValuesUnlessNoRemove", L"K { val a = s 'x'\r\nval b = s 'y'\r\nChild }",
                       L"NoRemove K { val a = s 'x'\r\nNoRemove val b = s 'y' }", S_OK,
                       {"K", "K : b = SZ y", "K\\Child"}},
        UnregisterCase{"MissingValueIsNoError", L"K { Child }", L"NoRemove K { val gone = s 'x' }", S_OK,
                       {"K", "K\\Child"}},
        UnregisterCase{"ForceRemoveAndDeleteActLikePlainKeys", L"A { Sub }\r\nB", L"ForceRemove A { Sub }\r\nDelete B",
                       S_OK, {}},
        UnregisterCase{"ProtectedNameIsRemovedWhenEmpty", L"CLSID", L"CLSID", S_OK, {}},
        // Registration reads the name after Delete as a key name; so does
        // unregistration, or it would keep X as NoRemove and miss the key n.
        UnregisterCase{"DeleteOfKeysNamedLikeKeywords", L"Delete NoRemove X\r\nDelete Val n = s 'v'",
                       L"Delete NoRemove X\r\nDelete Val n = s 'v'", S_OK, {}},
        UnregisterCase{"BackslashInAKeyName", L"K", L"K\r\nBad\\Name", DISP_E_EXCEPTION, {}},
        UnregisterCase{"EmptyKeyNameKeepsItsParent", L"K", L"K { '' }", DISP_E_EXCEPTION, {"K"}},
        // Only the undo of a failed registration removes keys above broken
        // text; a plain unregistration stops where the text breaks.
        UnregisterCase{"BrokenNestedTextKeepsTheKeyAbove", L"K { Child }", L"K { Child\r\nBad\\Name }",
                       DISP_E_EXCEPTION, {"K"}},
        UnregisterCase{"ValWithoutAssignment", L"K", L"K { val v }", DISP_E_EXCEPTION, {"K"}}),
    [](const testing::TestParamInfo<UnregisterCase>& info) { return std::string(info.param.name); });

// A key that exists but refuses reading: its entries are skipped, the
// registry below it is not touched, and the access error stops the block.
class UnreadableKey : public ScratchRegistry {
 protected:
  const std::wstring lockedPath = std::wstring(kScratch) + L"\\Locked";

  void SetUp() override {
    ScratchRegistry::SetUp();
    registration_tests::createKey(HKEY_CURRENT_USER, lockedPath + L"\\Child\\Deeper", L"d");
    registration_tests::createKey(HKEY_CURRENT_USER, std::wstring(kScratch) + L"\\After");
    ASSERT_EQ(setReadDenied(true), ERROR_SUCCESS);
  }
  void TearDown() override {
    setReadDenied(false);
    ScratchRegistry::TearDown();
  }

  // Denies (or stops denying) everyone the reading rights on Locked.
  LONG setReadDenied(bool denied) {
    framework::UniqueKey key;
    LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, lockedPath.c_str(), 0, WRITE_DAC, key.put());
    if (status != ERROR_SUCCESS) return status;
    const REGSAM readRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
    return registration_tests::denyEveryone(key.get(), denied ? readRights : 0);
  }
};

TEST_F(UnreadableKey, IsReallyUnreadable) {
  framework::UniqueKey key;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, lockedPath.c_str(), 0, KEY_READ, key.put()), ERROR_ACCESS_DENIED);
}

TEST_F(UnreadableKey, UnregistrationSkipsItsEntriesAndFailsWithTheAccessError) {
  EXPECT_EQ(runScript(inScratch(L"Locked { Child = s 'c' { Deeper { val v = s 'x' } } }\r\nAfter"), false),
            HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  setReadDenied(false);
  // Nothing below the locked key was touched, and the block stopped there.
  EXPECT_EQ(scratchContent(), (Lines{"After", "Locked", "Locked\\Child", "Locked\\Child\\Deeper",
                                     textLine("Locked\\Child\\Deeper", "@", "d")}));
}

TEST_F(UnreadableKey, RegistrationFailsWithTheAccessErrorAndLeavesItAlone) {
  EXPECT_EQ(runScript(inScratch(L"Before\r\nLocked { Child = s 'new' }"), true),
            HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  setReadDenied(false);
  // The undo removed Before and stopped at the same access error.
  EXPECT_EQ(scratchContent(), (Lines{"After", "Locked", "Locked\\Child", "Locked\\Child\\Deeper",
                                     textLine("Locked\\Child\\Deeper", "@", "d")}));
}

TEST_F(UnreadableKey, InsideAMissingKeyNothingIsOpened) {
  // Below a missing key the entries are read in skip mode: the unreadable
  // key named there is never opened, so no access error arises.
  EXPECT_EQ(runScript(inScratch(L"Missing { Locked { Child } }\r\nAfter"), false), S_OK);
  setReadDenied(false);
  EXPECT_EQ(scratchContent(), (Lines{"Locked", "Locked\\Child", "Locked\\Child\\Deeper",
                                     textLine("Locked\\Child\\Deeper", "@", "d")}));
}

// Per-user mode rewrites the top-level "HKCR" root only.
class PerUser : public ScratchRegistry {
 protected:
  void SetUp() override {
    ScratchRegistry::SetUp();
    removeProbes();
    perUserRegistration = true;
  }
  void TearDown() override {
    removeProbes();
    ScratchRegistry::TearDown();
  }
  static void removeProbes() {
    for (const wchar_t* root : {L"Software\\Classes\\", L"Software\\Classes\\CLSID\\"}) {
      for (const wchar_t* name : {L"KorvelTestProbe", L"KorvelTestLong", L"KorvelTestLower"}) {
        registration_tests::deleteTree(HKEY_CURRENT_USER, std::wstring(root) + name);
        registration_tests::deleteTree(HKEY_LOCAL_MACHINE, std::wstring(root) + name);
      }
    }
  }
  static bool inUserClasses(const wchar_t* name) {
    return registration_tests::keyExists(HKEY_CURRENT_USER, std::wstring(L"Software\\Classes\\") + name);
  }
  static bool inMachineClasses(const wchar_t* name) {
    return registration_tests::keyExists(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + name);
  }
};

TEST_F(PerUser, HkcrGoesToTheUsersClassesBothWays) {
  const std::wstring script = L"HKCR\r\n{\r\n\tKorvelTestProbe = s 'p'\r\n\tNoRemove CLSID\r\n\t{\r\n"
                              L"\t\tKorvelTestProbe = s '%Module%'\r\n\t}\r\n}\r\n";
  ASSERT_EQ(runScript(script, true), S_OK);
  EXPECT_TRUE(inUserClasses(L"KorvelTestProbe"));
  EXPECT_TRUE(inUserClasses(L"CLSID\\KorvelTestProbe"));
  EXPECT_FALSE(inMachineClasses(L"KorvelTestProbe"));
  EXPECT_FALSE(inMachineClasses(L"CLSID\\KorvelTestProbe"));
  EXPECT_EQ(snapshot(HKEY_CURRENT_USER, L"Software\\Classes\\KorvelTestProbe"), Lines{textLine("", "@", "p")});

  ASSERT_EQ(runScript(script, false), S_OK);
  EXPECT_FALSE(inUserClasses(L"KorvelTestProbe"));
  EXPECT_FALSE(inUserClasses(L"CLSID\\KorvelTestProbe"));
  EXPECT_TRUE(registration_tests::keyExists(HKEY_CURRENT_USER, L"Software"));
}

TEST_F(PerUser, EveryTopLevelHkcrBlockIsRewritten) {
  ASSERT_EQ(runScript(L"HKCR { KorvelTestProbe }\r\nHKCR { KorvelTestLong }", true), S_OK);
  EXPECT_TRUE(inUserClasses(L"KorvelTestProbe"));
  EXPECT_TRUE(inUserClasses(L"KorvelTestLong"));
  EXPECT_FALSE(inMachineClasses(L"KorvelTestProbe"));
  EXPECT_FALSE(inMachineClasses(L"KorvelTestLong"));
}

struct OtherSpellingCase {
  const char* name;
  const wchar_t* root;
};

void PrintTo(const OtherSpellingCase& c, std::ostream* os) { *os << c.name; }

class PerUserOtherSpelling : public PerUser, public testing::WithParamInterface<OtherSpellingCase> {};

TEST_P(PerUserOtherSpelling, StaysInTheClassesRoot) {
  const std::wstring script = std::wstring(GetParam().root) + L"\r\n{\r\n\tKorvelTestLower = s 'x'\r\n}\r\n";
  ASSERT_EQ(runScript(script, true), S_OK);
  EXPECT_FALSE(inUserClasses(L"KorvelTestLower"));
  EXPECT_TRUE(inMachineClasses(L"KorvelTestLower"));
  ASSERT_EQ(runScript(script, false), S_OK);
  EXPECT_FALSE(inMachineClasses(L"KorvelTestLower"));
}

INSTANTIATE_TEST_SUITE_P(Roots, PerUserOtherSpelling,
                         testing::Values(OtherSpellingCase{"LowerCase", L"hkcr"},
                                         OtherSpellingCase{"MixedCase", L"HkCr"},
                                         OtherSpellingCase{"LongName", L"HKEY_CLASSES_ROOT"}),
                         [](const testing::TestParamInfo<OtherSpellingCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(PerUser, HkcrInsideAQuotedStringOrAVariableIsNotRewritten) {
  ASSERT_EQ(runScript(inScratch(L"K = s 'HKCR { }'\r\nV = s '%Percent%'"), true), S_OK);
  EXPECT_EQ(scratchContent(), (Lines{"K", textLine("K", "@", "HKCR { }"), "V", textLine("V", "@", "50% HKCR %Module% {")}));
}

TEST_F(PerUser, OtherRootsAreLeftAlone) {
  ASSERT_EQ(runScript(inScratch(L"K"), true), S_OK);
  EXPECT_EQ(scratchContent(), Lines{"K"});
}

}  // namespace

namespace {

// Every key handle is closed on every path, failures included: running
// many scripts that succeed and fail leaves the process's handle count as
// it was.
TEST_F(ScratchRegistry, ScriptsLeaveNoKeyHandleOpen) {
  const std::wstring scripts[] = {
      inScratch(L"K = s 'v' { val n = d 7\r\nChild { Deeper = s 'd' } }"),
      inScratch(L"Good { Deeper { Bad\\Name } }"),
      inScratch(L"K { val v = b abc }"),
      inScratch(L"K = s 'open"),
      inScratch(L"ForceRemove Other { Mine }\r\nDelete Gone"),
  };
  for (const std::wstring& script : scripts) {  // warm-up: caches of the registry layer
    runScript(script, true);
    runScript(script, false);
  }
  const size_t before = registration_tests::openHandles();
  ASSERT_GT(before, 0u) << "the system handle table is not available";
  for (int round = 0; round < 20; ++round) {
    for (const std::wstring& script : scripts) {
      runScript(script, true);
      runScript(script, false);
    }
  }
  EXPECT_EQ(registration_tests::openHandles(), before);
}

}  // namespace
