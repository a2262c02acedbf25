// The regscript tool, run as its own process on script files.
#include <gtest/gtest.h>

#include <string>

#include "framework/handles.h"
#include "tests/registration/process_runner.h"
#include "tests/registration/registry_snapshot.h"
#include "tests/support/cert_store_setup.h"

using registration_tests::runProcess;
using registration_tests::snapshot;
using registration_tests::textLine;
using Lines = std::vector<std::string>;

namespace {

constexpr wchar_t kScratch[] = L"Software\\KorvelTest";

class Regscript : public testing::Test {
 protected:
  void SetUp() override {
    registration_tests::deleteTree(HKEY_CURRENT_USER, kScratch);
    registration_tests::deleteTree(HKEY_CURRENT_USER, L"Software\\Classes\\KorvelTestTool");
    registration_tests::deleteTree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\KorvelTestTool");
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    scriptPath_ = std::wstring(folder) + L"korvel regscript test.rgs";
  }
  void TearDown() override {
    DeleteFileW(scriptPath_.c_str());
    registration_tests::deleteTree(HKEY_CURRENT_USER, kScratch);
    registration_tests::deleteTree(HKEY_CURRENT_USER, L"Software\\Classes\\KorvelTestTool");
    registration_tests::deleteTree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\KorvelTestTool");
  }

  void writeScript(const std::string& bytes) {
    framework::UniqueHandle file(
        CreateFileW(scriptPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(file.get(), INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  }

  std::string regscript(const std::wstring& arguments) {
    return runProcess(L"\"" + testing_support::pathBesideProgram(L"regscript.exe") + L"\" " + arguments);
  }
  std::wstring quotedScript() const { return L"\"" + scriptPath_ + L"\""; }

  std::wstring scriptPath_;
};

const char kScratchScript[] =
    "HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tKorvelTest = s '%Greeting%'\r\n\t\t{\r\n"
    "\t\t\tval Count = d '%count%'\r\n\t\t}\r\n\t}\r\n}\r\n";

TEST_F(Regscript, RegistersAndUnregistersWithVariables) {
  writeScript(kScratchScript);
  EXPECT_EQ(regscript(L"/v Greeting=hello /v Count=42 /v Count=7 " + quotedScript()), "0x00000000\r\n");
  EXPECT_EQ(snapshot(HKEY_CURRENT_USER, kScratch),
            (Lines{textLine("", "@", "hello"), " : Count = DWORD 0x0000002a"}));
  EXPECT_EQ(regscript(L"/u /v Greeting=hello /v Count=42 " + quotedScript()), "0x00000000\r\n");
  EXPECT_FALSE(registration_tests::keyExists(HKEY_CURRENT_USER, kScratch));
}

TEST_F(Regscript, PrintsTheFailureAndUndoesTheBlock) {
  writeScript(kScratchScript);
  EXPECT_EQ(regscript(L"/v Greeting=hello " + quotedScript()), "0x80020009\r\n");  // %count% is unknown
  writeScript(kScratchScript);
  EXPECT_EQ(regscript(L"/v Greeting=hello /v Count=many " + quotedScript()), "0x80020005\r\n");
  EXPECT_FALSE(registration_tests::keyExists(HKEY_CURRENT_USER, kScratch));
}

TEST_F(Regscript, PerUserModeRewritesHkcr) {
  writeScript("HKCR\r\n{\r\n\tKorvelTestTool = s 'x'\r\n}\r\n");
  EXPECT_EQ(regscript(L"/user " + quotedScript()), "0x00000000\r\n");
  EXPECT_TRUE(registration_tests::keyExists(HKEY_CURRENT_USER, L"Software\\Classes\\KorvelTestTool"));
  EXPECT_FALSE(registration_tests::keyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\KorvelTestTool"));
  EXPECT_EQ(regscript(L"/u /user " + quotedScript()), "0x00000000\r\n");
  EXPECT_FALSE(registration_tests::keyExists(HKEY_CURRENT_USER, L"Software\\Classes\\KorvelTestTool"));
}

TEST_F(Regscript, ReadsUtf8AfterAByteOrderMark) {
  writeScript("\xEF\xBB\xBFHKCU { NoRemove Software { KorvelTest = s '\xE8\xA8\xBC\xE6\x98\x8E' } }");
  EXPECT_EQ(regscript(quotedScript()), "0x00000000\r\n");
  EXPECT_EQ(snapshot(HKEY_CURRENT_USER, kScratch), Lines{textLine("", "@", "\xE8\xA8\xBC\xE6\x98\x8E")});
}

TEST_F(Regscript, MissingFileGivesItsError) {
  EXPECT_EQ(regscript(L"\"C:\\no such folder\\none.rgs\""), "0x80070003\r\n");
}

class RegscriptUsage : public Regscript, public testing::WithParamInterface<const wchar_t*> {};

TEST_P(RegscriptUsage, ShowsUsageAndRunsNothing) {
  writeScript(kScratchScript);
  std::wstring arguments = GetParam();
  size_t file = arguments.find(L"FILE");
  if (file != std::wstring::npos) arguments.replace(file, 4, quotedScript());
  std::string output = regscript(arguments);
  EXPECT_EQ(output.rfind("usage: regscript", 0), 0u) << output;
  EXPECT_FALSE(registration_tests::keyExists(HKEY_CURRENT_USER, kScratch));
}

INSTANTIATE_TEST_SUITE_P(BadArguments, RegscriptUsage,
                         testing::Values(L"", L"/u", L"/x FILE", L"/v FILE", L"/v NoEquals FILE",
                                         L"/v =value FILE", L"FILE FILE", L"/v Greeting=a"));

}  // namespace
