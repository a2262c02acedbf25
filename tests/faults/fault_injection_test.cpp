// Every allocation of a whole renewal and of the registration entry points
// made to fail, one at a time, in the TEST-ONLY build KorvelToolFaults.dll.
// Each run loads the DLL afresh (so the class object is made again), fails
// allocation number N and checks that the run ends with a stated result,
// leaves the outputs alone where nothing was signed, and leaves no handle,
// font or module lock behind. N counts up until a run no longer reaches it.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "KorvelTool_h.h"
#include "framework/com_ptr.h"
#include "framework/handles.h"
#include "tests/registration/handle_count.h"
#include "tests/registration/product_registry.h"
#include "tests/registration/registry_snapshot.h"
#include "tests/signing/signing_test_support.h"
#include "tests/support/cert_store_setup.h"
#include "tests/support/korvel_dll.h"
#include "tests/support/test_names.h"
#include "tests/support/wide_text.h"

namespace {

using registration_tests::Hive;
using registration_tests::openHandles;
using Lines = std::vector<std::string>;

constexpr ULONG kSigned = 0;
constexpr ULONG kNothingSigned = 1;
constexpr ULONG kEmptyList = 0x80001091;
constexpr wchar_t kServerDate[] = L"1772323200000";  // 2026-03-01: the signer is listed
constexpr wchar_t kTitle[] = L"証明書の更新";
constexpr wchar_t kPrompt[] = L"更新する証明書を選んでください。";
constexpr wchar_t kData[] = L"renewal data abc";
// Far more than any path makes: a run that never reaches its N ends the loop
// long before.
constexpr LONG kMostAllocations = 5000;

// KorvelToolFaults.dll beside the program, loaded for one run.
class FaultsDll {
 public:
  FaultsDll() : module_(LoadLibraryW(testing_support::pathBesideProgram(L"KorvelToolFaults.dll").c_str())) {}
  ~FaultsDll() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  FaultsDll(const FaultsDll&) = delete;
  FaultsDll& operator=(const FaultsDll&) = delete;

  bool loaded() const { return module_ != nullptr; }

  template <typename Function>
  Function get(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  void arm(LONG failAt) const { get<void(WINAPI*)(LONG)>("KorvelFaultsArm")(failAt); }
  LONG count() const { return get<LONG(WINAPI*)()>("KorvelFaultsCount")(); }
  LONG failed() const { return get<LONG(WINAPI*)()>("KorvelFaultsFailed")(); }
  LONG signingCalls() const { return get<LONG(WINAPI*)()>("KorvelFaultsSigningCalls")(); }
  LONG throws() const { return get<LONG(WINAPI*)()>("KorvelFaultsThrows")(); }
  HRESULT canUnloadNow() const { return get<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")(); }
  HRESULT getClassObject(REFIID riid, void** ppv) const {
    return get<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(CLSID_KorvelIE, riid, ppv);
  }
  HRESULT registerServer() const { return get<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")(); }
  HRESULT unregisterServer() const { return get<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer")(); }
  HRESULT install(BOOL doInstall, LPCWSTR commandLine) const {
    return get<HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR)>("DllInstall")(doInstall, commandLine);
  }

 private:
  HMODULE module_;
};

// An HRESULT an out-of-memory run may end with, besides S_OK.
bool isOutOfMemory(HRESULT hr) { return hr == E_OUTOFMEMORY; }

std::string hex(unsigned long value) {
  char text[16];
  snprintf(text, sizeof(text), "0x%08lX", value);
  return text;
}

// ---- Renewal ---------------------------------------------------------------

// What one renewal run saw.
struct Renewal {
  HRESULT classObject = E_FAIL;
  HRESULT creation = E_FAIL;
  bool titlePut = false;
  bool issuerDNPut = false;
  bool dialogRan = false;
  ULONG result = 0xFFFFFFFF;
  signing_testing::MessageBoxSeen box;
  LRESULT rows = -1;
  HFONT titleFont = nullptr;
  HRESULT issuerDNGet = E_FAIL;
  HRESULT certDataGet = E_FAIL;
  std::wstring issuerDN;
  std::wstring certData;
  HRESULT canUnloadAfterRelease = E_FAIL;
};

HRESULT put(IKorvelIE* control, HRESULT (STDMETHODCALLTYPE IKorvelIE::*member)(BSTR), const wchar_t* text) {
  framework::UniqueBstr value(SysAllocString(text));
  return (control->*member)(value.get());
}

HRESULT getText(IKorvelIE* control, HRESULT (STDMETHODCALLTYPE IKorvelIE::*member)(BSTR*), std::wstring& text) {
  BSTR raw = nullptr;
  HRESULT hr = (control->*member)(&raw);
  framework::UniqueBstr value(raw);
  if (SUCCEEDED(hr)) text.assign(value.get(), SysStringLen(value.get()));
  return hr;
}

// Create, put the four values, SignRenewal with the first row confirmed,
// get both outputs, release.
void runRenewalSteps(const FaultsDll& dll, Renewal& run) {
  framework::ComPtr<IClassFactory> factory;
  run.classObject = dll.getClassObject(IID_IClassFactory, factory.putVoid());
  if (FAILED(run.classObject)) return;
  framework::ComPtr<IKorvelIE> control;
  run.creation = factory->CreateInstance(nullptr, IID_IKorvelIE, control.putVoid());
  factory.reset();
  if (FAILED(run.creation)) return;

  const HRESULT titlePut = put(control.get(), &IKorvelIE::put_SelID_Title, kTitle);
  const HRESULT promptPut = put(control.get(), &IKorvelIE::put_SelID_Text, kPrompt);
  const HRESULT datePut = put(control.get(), &IKorvelIE::put_Server_Date, kServerDate);
  const HRESULT dataPut = put(control.get(), &IKorvelIE::put_IssuerDN, kData);
  EXPECT_TRUE(titlePut == S_OK || isOutOfMemory(titlePut)) << hex(titlePut);
  EXPECT_TRUE(promptPut == S_OK || isOutOfMemory(promptPut)) << hex(promptPut);
  EXPECT_EQ(datePut, S_OK);
  EXPECT_TRUE(dataPut == S_OK || isOutOfMemory(dataPut)) << hex(dataPut);
  run.titlePut = titlePut == S_OK;
  run.issuerDNPut = dataPut == S_OK;

  const auto confirmed = signing_testing::confirmRow(control.get(), signing_testing::firstItem, [&](HWND dialog) {
    run.rows = SendMessageW(GetDlgItem(dialog, 1002), LVM_GETITEMCOUNT, 0, 0);
    run.titleFont = reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(dialog, 1000), WM_GETFONT, 0, 0));
  });
  run.dialogRan = confirmed.dialog.sawDialog;
  run.result = confirmed.dialog.result;
  run.box = confirmed.box;

  run.issuerDNGet = getText(control.get(), &IKorvelIE::get_IssuerDN, run.issuerDN);
  run.certDataGet = getText(control.get(), &IKorvelIE::get_CertData, run.certData);
}

// The renewal with allocation `failAt` failing (none for 0).
Renewal runRenewal(const FaultsDll& dll, LONG failAt) {
  Renewal run;
  dll.arm(failAt);
  runRenewalSteps(dll, run);
  run.canUnloadAfterRelease = dll.canUnloadNow();
  return run;
}

// What the outputs must be after the run: signed outputs for the data that
// was put, or the values they had (IssuerDN as put, CertData empty).
void expectStatedOutcome(const Renewal& run, const std::wstring& signerBase64) {
  EXPECT_EQ(run.canUnloadAfterRelease, S_OK) << "a module lock is left";
  if (FAILED(run.classObject)) {
    EXPECT_EQ(run.classObject, E_OUTOFMEMORY);
    return;
  }
  if (FAILED(run.creation)) {
    EXPECT_EQ(run.creation, E_OUTOFMEMORY);
    return;
  }
  EXPECT_TRUE(run.dialogRan) << "the dialog did not open";
  EXPECT_TRUE(run.issuerDNGet == S_OK || isOutOfMemory(run.issuerDNGet)) << hex(run.issuerDNGet);
  EXPECT_TRUE(run.certDataGet == S_OK || isOutOfMemory(run.certDataGet)) << hex(run.certDataGet);
  const std::wstring put = run.issuerDNPut ? kData : L"";
  switch (run.result) {
    case kSigned: {
      EXPECT_EQ(run.rows, 1);
      EXPECT_FALSE(run.box.shown);
      if (run.issuerDNGet == S_OK) {
        EXPECT_EQ(signing_testing::base64FormProblem(run.issuerDN), "");
        const auto message = signing_testing::readMessage(signing_testing::decodeBase64(run.issuerDN));
        EXPECT_TRUE(message.decoded);
        EXPECT_EQ(message.content, signing_testing::utf16Bytes(put));
      }
      if (run.certDataGet == S_OK) {
        EXPECT_EQ(run.certData, signerBase64);
      }
      break;
    }
    case kNothingSigned:
      // Only the signing-failure path ends so with the signer listed.
      EXPECT_EQ(run.rows, 1);
      EXPECT_TRUE(run.box.shown) << "nothing signed without the failure message";
      EXPECT_EQ(testing_support::utf8(run.box.text), "署名データの作成ができませんでした。");
      if (run.issuerDNGet == S_OK) {
        EXPECT_EQ(run.issuerDN, put);
      }
      if (run.certDataGet == S_OK) {
        EXPECT_EQ(run.certData, L"");
      }
      break;
    case kEmptyList:
      // List building ran out of memory before the row was added.
      EXPECT_EQ(run.rows, 0);
      EXPECT_FALSE(run.box.shown);
      if (run.issuerDNGet == S_OK) {
        EXPECT_EQ(run.issuerDN, put);
      }
      if (run.certDataGet == S_OK) {
        EXPECT_EQ(run.certData, L"");
      }
      break;
    default:
      ADD_FAILURE() << "result " << hex(run.result);
  }
  // The bold title font is the one GDI object the dialog makes.
  if (run.titleFont != nullptr) {
    EXPECT_EQ(GetObjectType(run.titleFont), 0u) << "title font left";
  }
}

// Handles that one signature made directly with the platform leaves behind.
size_t handlesLeftByOneSignature() {
  framework::UniqueCertStore store(CertOpenSystemStoreW(0, L"MY"));
  framework::UniqueCertContext signer(CertEnumCertificatesInStore(store.get(), nullptr));
  if (!signer) return 0;
  auto signOnce = [&] {
    PCCERT_CONTEXT slot = signer.get();
    CRYPT_SIGN_MESSAGE_PARA para{};
    para.cbSize = offsetof(CRYPT_SIGN_MESSAGE_PARA, dwInnerContentType) + sizeof(DWORD);
    para.dwMsgEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    para.pSigningCert = slot;
    para.HashAlgorithm.pszObjId = const_cast<char*>(szOID_NIST_sha256);
    para.cMsgCert = 1;
    para.rgpMsgCert = &slot;
    const BYTE data[] = {'a', 0};
    const BYTE* items[] = {data};
    DWORD sizes[] = {sizeof(data)};
    DWORD size = 0;
    CryptSignMessage(&para, FALSE, 1, items, sizes, nullptr, &size);
    std::vector<BYTE> message(size);
    CryptSignMessage(&para, FALSE, 1, items, sizes, message.data(), &size);
  };
  signOnce();  // warm-up
  const size_t before = openHandles();
  signOnce();
  return openHandles() - before;
}

// What one load of the DLL leaves in the process without running a path:
// the C++ runtime linked into it creates locks (the exception memory pool's
// at load, the exception state's when the fault layer is first armed) that
// it never closes when the instance is unloaded.
// The first load in a process also loads what the DLL needs from the
// platform: measured on the second.
size_t handlesLeftByALoad() {
  size_t left = 0;
  for (int round = 0; round < 2; ++round) {
    const size_t before = openHandles();
    {
      FaultsDll dll;
      EXPECT_TRUE(dll.loaded());
      dll.arm(0);
    }
    left = openHandles() - before;
  }
  return left;
}

class OutOfMemory : public testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  static void TearDownTestSuite() { CoUninitialize(); }
};

TEST_F(OutOfMemory, EveryAllocationOfARenewal) {
  signing_testing::useStore({{L"signer"}});
  ASSERT_FALSE(HasFatalFailure());
  const testing_support::Bytes signer = signing_testing::certificateBytes(L"signer");
  std::wstring signerBase64;
  {
    DWORD length = 0;
    CryptBinaryToStringW(signer.data(), static_cast<DWORD>(signer.size()), CRYPT_STRING_BASE64, nullptr, &length);
    signerBase64.resize(length);
    CryptBinaryToStringW(signer.data(), static_cast<DWORD>(signer.size()), CRYPT_STRING_BASE64,
                         signerBase64.data(), &length);
    signerBase64.resize(length);
  }

  // Wine's CryptSignMessage keeps a handle open for every signature it makes
  // (measured here by signing directly); the DLL's own handles must all go.
  const size_t leftBySigning = handlesLeftByOneSignature();
  RecordProperty("handles_left_by_platform_signing", std::to_string(leftBySigning));

  // A run without failures counts the allocations; a second one measures
  // what the platform keeps per renewal with a fresh DLL.
  LONG reached = 0;
  size_t leftByARenewal = 0;
  for (int round = 0; round < 2; ++round) {
    const size_t before = openHandles();
    {
      FaultsDll dll;
      ASSERT_TRUE(dll.loaded());
      const Renewal run = runRenewal(dll, 0);
      reached = dll.count();
      ASSERT_EQ(run.result, kSigned);
      expectStatedOutcome(run, signerBase64);
    }
    leftByARenewal = openHandles() - before;
  }
  RecordProperty("handles_left_by_a_renewal_without_failures", std::to_string(leftByARenewal));
  const size_t leftByALoad = handlesLeftByALoad();
  RecordProperty("handles_left_by_a_load", std::to_string(leftByALoad));

  // Every N runs twice: the first run warms up what the platform keeps for
  // the process on a path's first use; the second must leave no handle.
  LONG failAt = 1;
  int signedRuns = 0, failedSigning = 0, emptyLists = 0, refusedCalls = 0;
  for (; failAt <= kMostAllocations; ++failAt) {
    SCOPED_TRACE("allocation " + std::to_string(failAt) + " failing");
    {
      FaultsDll warmUp;
      ASSERT_TRUE(warmUp.loaded());
      runRenewal(warmUp, failAt);
    }
    const size_t handlesBefore = openHandles();
    Renewal run;
    bool failureInjected = false;
    bool signedAny = false;
    {
      FaultsDll dll;
      ASSERT_TRUE(dll.loaded());
      run = runRenewal(dll, failAt);
      failureInjected = dll.failed() == 1;
      signedAny = dll.signingCalls() > 0;
    }
    // Counted after the unload: what the platform keeps for a signature
    // (Wine: more than the bare signing call once the key was found through
    // the store; the whole renewal's figure includes the load's) or what a
    // load leaves; nothing else.
    const size_t mostLeft = signedAny ? std::max(leftBySigning + leftByALoad, leftByARenewal) : leftByALoad;
    expectStatedOutcome(run, signerBase64);
    EXPECT_LE(openHandles(), handlesBefore + mostLeft) << "handles left";
    if (!failureInjected) {
      // N is beyond what the path reaches: the whole renewal succeeded.
      EXPECT_EQ(run.result, kSigned);
      break;
    }
    if (FAILED(run.classObject) || FAILED(run.creation) || !run.titlePut || !run.issuerDNPut ||
        FAILED(run.issuerDNGet) || FAILED(run.certDataGet))
      ++refusedCalls;
    if (run.result == kSigned) ++signedRuns;
    if (run.result == kNothingSigned) ++failedSigning;
    if (run.result == kEmptyList) ++emptyLists;
    if (HasFailure()) break;
  }
  const LONG points = failAt - 1;
  printf("renewal: %ld allocation points reached (%ld in the run without failures); runs ending signed %d, "
         "in the signing failure %d, with an empty list %d; runs with a call answering E_OUTOFMEMORY %d\n",
         static_cast<long>(points), static_cast<long>(reached), signedRuns, failedSigning, emptyLists,
         refusedCalls);
  RecordProperty("allocation_points", std::to_string(points));
  EXPECT_GT(points, 10);
  EXPECT_EQ(testing_support::clearPersonalStore(), S_OK);
}

// ---- Registration ----------------------------------------------------------

// The registry as far as registration touches it.
Lines registrationState() {
  Lines state = registration_tests::productEntries(Hive::Machine);
  for (const auto& line : registration_tests::productEntries(Hive::User)) state.push_back("user " + line);
  for (const auto& line : registration_tests::snapshot(
           HKEY_LOCAL_MACHINE, L"Software\\Classes\\TypeLib\\" + registration_tests::libidText()))
    state.push_back("typelib " + line);
  return state;
}

struct RegistrationPath {
  const char* what;
  // The call under test, with the failure armed.
  HRESULT (*call)(const FaultsDll& dll);
  // Brings the registry to where the call starts, without failures.
  void (*prepare)(const FaultsDll& dll);
  // Removes what a successful call left, without failures.
  void (*undo)(const FaultsDll& dll);
};

void nothingToPrepare(const FaultsDll&) {}
void registerFirst(const FaultsDll& dll) { ASSERT_EQ(dll.registerServer(), S_OK); }
void unregisterAfter(const FaultsDll& dll) { EXPECT_EQ(dll.unregisterServer(), S_OK); }
void unregisterUserAfter(const FaultsDll& dll) { EXPECT_EQ(dll.install(FALSE, L"user"), S_OK); }
void nothingToUndo(const FaultsDll&) {}

void PrintTo(const RegistrationPath& path, std::ostream* out) { *out << path.what; }

class OutOfMemoryInRegistration : public testing::TestWithParam<RegistrationPath> {
 protected:
  void SetUp() override { registration_tests::removeProductRegistration(); }
  void TearDown() override { registration_tests::removeProductRegistration(); }
};

// A failed call leaves the registry as it found it, or, where a later step
// failed, with what the stated undo leaves; a further unregistration without
// failures then gives back the state from before.
TEST_P(OutOfMemoryInRegistration, EveryAllocationFailsOnce) {
  const RegistrationPath& path = GetParam();
  const Lines before = registrationState();
  {
    FaultsDll warmUp;  // loads what registration needs from the platform
    ASSERT_TRUE(warmUp.loaded());
    path.prepare(warmUp);
    ASSERT_EQ(path.call(warmUp), S_OK);
    path.undo(warmUp);
    warmUp.unregisterServer();
  }
  ASSERT_EQ(registrationState(), before);
  // Wine's type library services keep a few handles for every registration
  // and unregistration (measured by calling them directly); the DLL's own
  // handles must all go.
  const size_t warmHandles = openHandles();
  ASSERT_EQ(testing_support::registerTypeLibrary(), S_OK);
  ASSERT_EQ(testing_support::unregisterTypeLibrary(), S_OK);
  const size_t leftByTypeLibraryServices = openHandles() - warmHandles;
  const size_t leftByALoad = handlesLeftByALoad();

  LONG failAt = 1;
  int failedCalls = 0;
  size_t mostLeft = 0;
  for (; failAt <= kMostAllocations; ++failAt) {
    SCOPED_TRACE("allocation " + std::to_string(failAt) + " failing");
    const size_t handlesBefore = openHandles();
    HRESULT hr = E_FAIL;
    bool failureInjected = false;
    {
      FaultsDll dll;
      ASSERT_TRUE(dll.loaded());
      path.prepare(dll);
      dll.arm(failAt);
      hr = path.call(dll);
      failureInjected = dll.failed() == 1;
      dll.arm(0);
      EXPECT_TRUE(hr == S_OK || isOutOfMemory(hr)) << hex(hr);
      if (SUCCEEDED(hr)) path.undo(dll);
      // Whatever a failure left, unregistering without failures cleans up.
      if (FAILED(hr)) ++failedCalls;
      dll.unregisterServer();
      EXPECT_EQ(registrationState(), before);
      EXPECT_EQ(dll.canUnloadNow(), S_OK);
    }
    const size_t left = openHandles() - handlesBefore;
    if (left > mostLeft) mostLeft = left;
    // Counted after the unload. At most three registrations or
    // unregistrations of the type library happen in one run, besides what a
    // load leaves.
    EXPECT_LE(left, 3 * leftByTypeLibraryServices + leftByALoad) << "handles left";
    if (!failureInjected) {
      EXPECT_EQ(hr, S_OK);
      break;
    }
    if (HasFailure()) break;
  }
  const LONG points = failAt - 1;
  printf("%s: %ld allocation points reached; %d calls answered E_OUTOFMEMORY; at most %zu handles left by a run "
         "(the type library services leave %zu per registration and unregistration, a load of the DLL %zu)\n",
         path.what, static_cast<long>(points), failedCalls, mostLeft, leftByTypeLibraryServices, leftByALoad);
  RecordProperty("allocation_points", std::to_string(points));
  EXPECT_GT(points, 5);
}

HRESULT registerServer(const FaultsDll& dll) { return dll.registerServer(); }
HRESULT unregisterServer(const FaultsDll& dll) { return dll.unregisterServer(); }
HRESULT installPerUser(const FaultsDll& dll) { return dll.install(TRUE, L"user"); }
HRESULT uninstallPerUser(const FaultsDll& dll) { return dll.install(FALSE, L"user"); }
void installPerUserFirst(const FaultsDll& dll) { ASSERT_EQ(dll.install(TRUE, L"user"), S_OK); }

const RegistrationPath kRegistrationPaths[] = {
    {"DllRegisterServer", registerServer, nothingToPrepare, unregisterAfter},
    {"DllUnregisterServer", unregisterServer, registerFirst, nothingToUndo},
    {"DllInstall per user", installPerUser, nothingToPrepare, unregisterUserAfter},
    {"DllInstall per user, uninstall", uninstallPerUser, installPerUserFirst, nothingToUndo},
};

std::string registrationPathName(const testing::TestParamInfo<RegistrationPath>& info) {
  return testing_support::caseNameFrom(info.param.what);
}

INSTANTIATE_TEST_SUITE_P(Table, OutOfMemoryInRegistration, testing::ValuesIn(kRegistrationPaths),
                         registrationPathName);

// A registration and an unregistration in a loaded instance leave, once the
// instance is unloaded, only what the type library services and a load
// leave: no lock of the C++ runtime (a function-local static takes one that
// is never closed) and no key handle.
TEST(RegistrationHandles, LoadRegisterUnregisterUnloadLeavesOnlyThePlatformsHandles) {
  registration_tests::removeProductRegistration();
  ASSERT_EQ(testing_support::registerTypeLibrary(), S_OK);  // warms the type library services up
  ASSERT_EQ(testing_support::unregisterTypeLibrary(), S_OK);
  const size_t start = openHandles();
  ASSERT_EQ(testing_support::registerTypeLibrary(), S_OK);
  ASSERT_EQ(testing_support::unregisterTypeLibrary(), S_OK);
  const size_t leftByTypeLibraryServices = openHandles() - start;
  const size_t leftByALoad = handlesLeftByALoad();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const size_t before = openHandles();
    {
      FaultsDll dll;
      ASSERT_TRUE(dll.loaded());
      dll.arm(0);
      EXPECT_EQ(dll.registerServer(), S_OK);
      EXPECT_EQ(dll.unregisterServer(), S_OK);
      EXPECT_EQ(dll.failed(), 0);
    }
    if (round > 0) {  // the first round may still load what the platform keeps
      EXPECT_EQ(openHandles(), before + leftByTypeLibraryServices + leftByALoad);
    }
  }
  registration_tests::removeProductRegistration();
}

}  // namespace
