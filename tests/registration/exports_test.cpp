// DllRegisterServer, DllUnregisterServer and DllInstall, through regsvr32 and
// by direct calls, checked against the prefix's registry.
//
// Wine does not activate classes registered per user and registers type
// libraries for the whole machine even through RegisterTypeLibForUser, so
// per-user registration is checked here by its registry content only.
//
// The per-user flag lives for the whole process: every case runs as a
// process of its own (one CTest test per case).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/handles.h"
#include "tests/registration/handle_count.h"
#include "tests/registration/key_access.h"
#include "tests/registration/process_runner.h"
#include "tests/registration/product_registry.h"
#include "tests/registration/registry_snapshot.h"
#include "tests/support/build_architecture.h"
#include "tests/support/korvel_dll.h"
#include "tests/support/wide_text.h"

using registration_tests::expectedProductEntries;
using registration_tests::Hive;
using registration_tests::productEntries;
using registration_tests::snapshot;
using Lines = std::vector<std::string>;

namespace {

const std::wstring kMachineClasses = L"Software\\Classes";

Hive otherHive(Hive hive) { return hive == Hive::Machine ? Hive::User : Hive::Machine; }

// What registration could touch, to compare before and after: the names
// in the machine's classes and its CLSID, Interface and TypeLib keys, the
// type library's and the interface's entries in full, and the user's
// software key in full. (A full copy of the machine's 8000 classes keys
// takes seconds under Wine.)
struct RegistryState {
  std::vector<Lines> parts;
  RegistryState() {
    for (const wchar_t* below : {L"", L"\\CLSID", L"\\Interface", L"\\TypeLib", L"\\AppID"}) {
      parts.push_back(registration_tests::subkeyNames(HKEY_LOCAL_MACHINE, kMachineClasses + below));
    }
    parts.push_back(snapshot(HKEY_LOCAL_MACHINE, kMachineClasses + L"\\TypeLib\\" + registration_tests::libidText()));
    parts.push_back(snapshot(HKEY_LOCAL_MACHINE, kMachineClasses + L"\\Interface\\" + registration_tests::iidText()));
    parts.push_back(productEntries(Hive::Machine));
    parts.push_back(snapshot(HKEY_CURRENT_USER, L"Software"));
  }
};

void expectSameState(const RegistryState& before, const RegistryState& after) {
  ASSERT_EQ(before.parts.size(), after.parts.size());
  for (size_t i = 0; i < before.parts.size(); ++i) EXPECT_EQ(before.parts[i], after.parts[i]) << "part " << i;
}

class Registration : public testing::Test {
 protected:
  // The scripts keep CLSID (NoRemove) in either hive. The machine's always
  // exists; the user's is made here, as the first per-user registration in
  // a new profile would make it, so that a case run first in a new prefix
  // compares like any other.
  void SetUp() override {
    registration_tests::removeProductRegistration();
    const std::wstring userClsid = std::wstring(registration_tests::kClassesPath) + L"\\CLSID";
    framework::UniqueKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, userClsid.c_str(), 0, nullptr, 0, KEY_READ, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override { registration_tests::removeProductRegistration(); }
};

// The three exports of KorvelTool.dll as loaded into this process.
struct Exports {
  HRESULT(STDAPICALLTYPE* registerServer)();
  HRESULT(STDAPICALLTYPE* unregisterServer)();
  HRESULT(STDAPICALLTYPE* install)(BOOL, LPCWSTR);
};

Exports exports() {
  HMODULE dll = testing_support::KorvelDll::instance().module();
  Exports found{};
  found.registerServer =
      reinterpret_cast<decltype(found.registerServer)>(reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
  found.unregisterServer = reinterpret_cast<decltype(found.unregisterServer)>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllUnregisterServer")));
  found.install = reinterpret_cast<decltype(found.install)>(reinterpret_cast<void*>(GetProcAddress(dll, "DllInstall")));
  return found;
}

std::string regsvr32(const std::wstring& arguments, const std::wstring& dll) {
  return registration_tests::runProcess(L"regsvr32.exe " + arguments + L" \"" + dll + L"\"");
}

// regsvr32 with its options, and where the entries must land.
struct Regsvr32Case {
  const char* name;
  const wchar_t* registerArguments;
  const wchar_t* unregisterArguments;
  Hive hive;
};

void PrintTo(const Regsvr32Case& c, std::ostream* os) { *os << c.name; }

class Regsvr32 : public Registration, public testing::WithParamInterface<Regsvr32Case> {};

TEST_P(Regsvr32, WritesTheWholeTreeAndRemovesItAgain) {
  const Regsvr32Case& c = GetParam();
  const std::wstring dll = testing_support::korvelDllPath();
  RegistryState before;

  regsvr32(c.registerArguments, dll);
  EXPECT_EQ(productEntries(c.hive), expectedProductEntries(dll));
  EXPECT_EQ(productEntries(otherHive(c.hive)), Lines{});
  EXPECT_EQ(registration_tests::registeredTypeLibraryPath(), dll);
  // A 32-bit DLL registers its type library as win32, a 64-bit one as win64.
  EXPECT_EQ(registration_tests::registeredTypeLibraryPlatforms(),
            std::vector<std::wstring>{testing_support::kTypeLibraryPlatform});

  regsvr32(c.unregisterArguments, dll);
  EXPECT_EQ(productEntries(c.hive), Lines{});
  EXPECT_EQ(registration_tests::registeredTypeLibraryPath(), L"");
  expectSameState(before, RegistryState{});
}

INSTANTIATE_TEST_SUITE_P(
    Options, Regsvr32,
    testing::Values(Regsvr32Case{"Silent", L"/s", L"/s /u", Hive::Machine},
                    Regsvr32Case{"InstallUser", L"/s /n /i:user", L"/s /u /n /i:user", Hive::User},
                    Regsvr32Case{"InstallUserInCapitals", L"/s /n /i:USER", L"/s /u /n /i:USER", Hive::User},
                    Regsvr32Case{"InstallUsers", L"/s /n /i:users", L"/s /u /n /i:users", Hive::Machine}),
    [](const testing::TestParamInfo<Regsvr32Case>& info) { return std::string(info.param.name); });

// DllInstall's command line decides the hive: "user" in any letter case only.
struct CommandLineCase {
  const char* name;
  const wchar_t* commandLine;
  Hive hive;
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

class InstallCommandLine : public Registration, public testing::WithParamInterface<CommandLineCase> {};

TEST_P(InstallCommandLine, SelectsTheHive) {
  const CommandLineCase& c = GetParam();
  const Exports dll = exports();
  ASSERT_NE(dll.install, nullptr);
  RegistryState before;
  ASSERT_EQ(dll.install(TRUE, c.commandLine), S_OK);
  EXPECT_EQ(productEntries(c.hive), expectedProductEntries(testing_support::korvelDllPath()));
  EXPECT_EQ(productEntries(otherHive(c.hive)), Lines{});
  ASSERT_EQ(dll.install(FALSE, c.commandLine), S_OK);
  EXPECT_EQ(productEntries(c.hive), Lines{});
  expectSameState(before, RegistryState{});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, InstallCommandLine,
    testing::Values(CommandLineCase{"Null", nullptr, Hive::Machine}, CommandLineCase{"Empty", L"", Hive::Machine},
                    CommandLineCase{"User", L"user", Hive::User}, CommandLineCase{"Capitals", L"USER", Hive::User},
                    CommandLineCase{"MixedCase", L"uSeR", Hive::User},
                    CommandLineCase{"TrailingLetter", L"users", Hive::Machine},
                    CommandLineCase{"TrailingBlank", L"user ", Hive::Machine},
                    CommandLineCase{"Shorter", L"use", Hive::Machine},
                    CommandLineCase{"Other", L"machine", Hive::Machine}),
    [](const testing::TestParamInfo<CommandLineCase>& info) { return std::string(info.param.name); });

TEST_F(Registration, DirectCallsRegisterPerMachine) {
  const Exports dll = exports();
  ASSERT_NE(dll.registerServer, nullptr);
  RegistryState before;
  ASSERT_EQ(dll.registerServer(), S_OK);
  EXPECT_EQ(productEntries(Hive::Machine), expectedProductEntries(testing_support::korvelDllPath()));
  EXPECT_EQ(productEntries(Hive::User), Lines{});
  ASSERT_EQ(dll.unregisterServer(), S_OK);
  expectSameState(before, RegistryState{});
  // Unregistering again changes nothing. Its result is the type library
  // service's answer for a library that is not registered (Wine: E_INVALIDARG).
  HRESULT again = dll.unregisterServer();
  RecordProperty("second_unregistration", std::to_string(again));
  expectSameState(before, RegistryState{});
}

// The entry points close every handle they open. Wine's RegisterTypeLib and
// UnRegisterTypeLib themselves leave handles behind (measured here by calling
// them directly: 3 per pair in Wine 8), so the count may grow by exactly that.
TEST_F(Registration, EntryPointsLeaveNoHandleOpen) {
  const Exports dll = exports();
  ASSERT_EQ(dll.registerServer(), S_OK);  // warm-up: loads what registration needs
  ASSERT_EQ(dll.unregisterServer(), S_OK);
  const size_t start = registration_tests::openHandles();
  ASSERT_GT(start, 0u);
  ASSERT_EQ(testing_support::registerTypeLibrary(), S_OK);
  ASSERT_EQ(testing_support::unregisterTypeLibrary(), S_OK);
  const size_t before = registration_tests::openHandles();
  const size_t leftByTypeLibraryServices = before - start;
  RecordProperty("handles_left_by_type_library_services", std::to_string(leftByTypeLibraryServices));

  constexpr size_t kRounds = 5;
  for (size_t round = 0; round < kRounds; ++round) {
    EXPECT_EQ(dll.registerServer(), S_OK);
    EXPECT_EQ(dll.unregisterServer(), S_OK);
    dll.unregisterServer();  // fails in the type library step
    EXPECT_EQ(dll.install(FALSE, L"machine"), dll.unregisterServer());
  }
  EXPECT_EQ(registration_tests::openHandles(), before + kRounds * leftByTypeLibraryServices);
}

TEST_F(Registration, PerUserFlagStaysSetForLaterCalls) {
  const Exports dll = exports();
  ASSERT_NE(dll.install, nullptr);
  const Lines expected = expectedProductEntries(testing_support::korvelDllPath());
  ASSERT_EQ(dll.install(TRUE, L"user"), S_OK);
  ASSERT_EQ(productEntries(Hive::User), expected);

  ASSERT_EQ(dll.unregisterServer(), S_OK);
  EXPECT_EQ(productEntries(Hive::User), Lines{});
  ASSERT_EQ(dll.registerServer(), S_OK);
  EXPECT_EQ(productEntries(Hive::User), expected);
  EXPECT_EQ(productEntries(Hive::Machine), Lines{});
  // A later command line other than "user" does not clear the flag.
  ASSERT_EQ(dll.install(FALSE, nullptr), S_OK);
  EXPECT_EQ(productEntries(Hive::User), Lines{});
  ASSERT_EQ(dll.install(TRUE, L"machine"), S_OK);
  EXPECT_EQ(productEntries(Hive::User), expected);
  EXPECT_EQ(productEntries(Hive::Machine), Lines{});
  ASSERT_EQ(dll.unregisterServer(), S_OK);
  EXPECT_EQ(productEntries(Hive::User), Lines{});
}

TEST_F(Registration, ForceRemoveReplacesAClassKeyThatOtherSoftwareExtended) {
  const std::wstring classKey = kMachineClasses + L"\\CLSID\\" + registration_tests::clsidText();
  registration_tests::createKey(HKEY_LOCAL_MACHINE, classKey + L"\\Foreign\\Deep", L"foreign");
  registration_tests::createKey(HKEY_LOCAL_MACHINE, classKey + L"\\InprocServer32", L"C:\\elsewhere\\old.dll");
  const Exports dll = exports();
  ASSERT_EQ(dll.registerServer(), S_OK);
  EXPECT_EQ(productEntries(Hive::Machine), expectedProductEntries(testing_support::korvelDllPath()));
  ASSERT_EQ(dll.unregisterServer(), S_OK);
  EXPECT_EQ(productEntries(Hive::Machine), Lines{});
}

TEST_F(Registration, UnregistrationKeepsAClassKeyThatOtherSoftwareExtended) {
  const std::wstring classKey = kMachineClasses + L"\\CLSID\\" + registration_tests::clsidText();
  const Exports dll = exports();
  ASSERT_EQ(dll.registerServer(), S_OK);
  registration_tests::createKey(HKEY_LOCAL_MACHINE, classKey + L"\\AddedLater", L"theirs");
  ASSERT_EQ(dll.unregisterServer(), S_OK);
  // Only the class key with its description and the foreign subkey remain.
  const std::string key = "CLSID\\" + testing_support::utf8(registration_tests::clsidText());
  EXPECT_EQ(productEntries(Hive::Machine),
            (Lines{key + " : @ = SZ KorveIE Class", key + "\\AddedLater", key + "\\AddedLater : @ = SZ theirs"}));
  EXPECT_TRUE(registration_tests::keyExists(HKEY_LOCAL_MACHINE, kMachineClasses + L"\\CLSID"));
}

// A copy of the DLL in a folder whose name has a single quote.
class QuotedPath : public Registration {
 protected:
  void SetUp() override {
    Registration::SetUp();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"korvel it's here";
    CreateDirectoryW(folder_.c_str(), nullptr);
    copy_ = folder_ + L"\\KorvelTool.dll";
    ASSERT_TRUE(CopyFileW(testing_support::korvelDllPath(), copy_.c_str(), FALSE));
  }
  void TearDown() override {
    DeleteFileW(copy_.c_str());
    RemoveDirectoryW(folder_.c_str());
    Registration::TearDown();
  }
  std::wstring folder_;
  std::wstring copy_;
};

TEST_F(QuotedPath, IsRegisteredIntact) {
  RegistryState before;
  regsvr32(L"/s", copy_);
  EXPECT_EQ(productEntries(Hive::Machine), expectedProductEntries(copy_));
  EXPECT_EQ(registration_tests::registeredTypeLibraryPath(), copy_);
  regsvr32(L"/s /u", copy_);
  expectSameState(before, RegistryState{});
}

}  // namespace

// The machine's TypeLib key refuses new subkeys for the duration of a case,
// so that the type library registration fails after both scripts ran.
class TypeLibraryRefused : public Registration {
 protected:
  const std::wstring typeLibPath = kMachineClasses + L"\\TypeLib";

  void SetUp() override {
    Registration::SetUp();
    framework::UniqueKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, typeLibPath.c_str(), 0, READ_CONTROL | WRITE_DAC, key.put()),
              ERROR_SUCCESS);
    DWORD size = 0;
    RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    ASSERT_EQ(RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved_.data(), &size), ERROR_SUCCESS);
    ASSERT_EQ(refuseSubkeys(key.get()), ERROR_SUCCESS);
  }
  void TearDown() override {
    framework::UniqueKey key;
    if (!saved_.empty() &&
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, typeLibPath.c_str(), 0, WRITE_DAC, key.put()) == ERROR_SUCCESS) {
      RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, saved_.data());
    }
    Registration::TearDown();
  }

  static LONG refuseSubkeys(HKEY key) { return registration_tests::denyEveryone(key, KEY_CREATE_SUB_KEY); }

  std::vector<BYTE> saved_;
};

TEST_F(TypeLibraryRefused, InstallUndoesTheScriptsAndReturnsTheFailure) {
  const Exports dll = exports();
  HRESULT hr = dll.install(TRUE, nullptr);
  EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
  RecordProperty("install_result", std::to_string(hr));
  EXPECT_EQ(productEntries(Hive::Machine), Lines{});
  EXPECT_EQ(registration_tests::registeredTypeLibraryPath(), L"");
  // Wine's RegisterTypeLib writes Interface\{IID} before it fails on the
  // TypeLib key, and UnRegisterTypeLib cannot find that library again, so
  // the interface entry is left to the clean-up of this fixture.
}

TEST_F(TypeLibraryRefused, RegisterServerLeavesTheScriptsEntries) {
  const Exports dll = exports();
  HRESULT hr = dll.registerServer();
  EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
  // Nothing is undone across scripts: the class entries stay, without a
  // registered type library.
  EXPECT_EQ(productEntries(Hive::Machine), expectedProductEntries(testing_support::korvelDllPath()));
  EXPECT_EQ(registration_tests::registeredTypeLibraryPath(), L"");
}

// A copy of the DLL whose full path does not fit in MAX_PATH characters.
class LongPath : public Registration {
 protected:
  void SetUp() override {
    Registration::SetUp();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(L"\\\\?\\") + temp + L"korvel-long";
    folders_.push_back(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    while (folder.size() - 4 + std::wstring(L"\\KorvelTool.dll").size() < MAX_PATH + 10) {
      folder += L"\\" + std::wstring(40, L'd');
      folders_.push_back(folder);
      ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    copy_ = folder + L"\\KorvelTool.dll";
    ASSERT_TRUE(CopyFileW(testing_support::korvelDllPath(), copy_.c_str(), FALSE)) << GetLastError();
    module_ = LoadLibraryW(copy_.c_str());
    ASSERT_NE(module_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
    DeleteFileW(copy_.c_str());
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) RemoveDirectoryW(folder->c_str());
    Registration::TearDown();
  }
  template <typename Function>
  Function entry(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  std::vector<std::wstring> folders_;
  std::wstring copy_;
  HMODULE module_ = nullptr;
};

TEST_F(LongPath, EveryEntryPointFailsBeforeWritingAnything) {
  RegistryState before;
  auto registerServer = entry<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer");
  auto unregisterServer = entry<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer");
  auto install = entry<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>("DllInstall");
  ASSERT_NE(install, nullptr);
  const HRESULT tooLong = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(registerServer(), tooLong);
  EXPECT_EQ(install(TRUE, nullptr), tooLong);
  EXPECT_EQ(unregisterServer(), tooLong);
  EXPECT_EQ(install(FALSE, L"user"), tooLong);
  EXPECT_EQ(install(TRUE, L"user"), tooLong);
  expectSameState(before, RegistryState{});
}
