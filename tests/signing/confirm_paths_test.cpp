#include <gtest/gtest.h>

#include <aclapi.h>

#include "framework/handles.h"
#include "tests/signing/signing_test_support.h"
#include "tests/support/wide_text.h"

using namespace signing_testing;

namespace {

constexpr ULONG kSigned = 0;
constexpr ULONG kNothingSigned = 1;
constexpr ULONG kCancelled = 0x80001067;
constexpr ULONG kEmptyList = 0x80001091;
const std::wstring kSigningFailed = L"署名データの作成ができませんでした。";

void expectFailureMessage(const ConfirmRun& run) {
  EXPECT_TRUE(run.box.shown);
  EXPECT_EQ(run.box.text, kSigningFailed) << testing_support::utf8(run.box.text);
  EXPECT_EQ(run.box.caption, L"");
  EXPECT_TRUE(run.box.ownedByDialog);
  EXPECT_TRUE(run.box.onlyOkButton);
}

TEST(ConfirmPaths, EmptyListGives80001091AndLeavesTheOutputs) {
  useStore({});
  auto control = newControl(L"data");
  const ConfirmRun run = confirmRow(control.get(), noItem);
  EXPECT_EQ(run.dialog.result, kEmptyList);
  EXPECT_FALSE(run.box.shown);
  EXPECT_EQ(getIssuerDN(control.get()), L"data");
  EXPECT_EQ(getCertData(control.get()), L"");
}

TEST(ConfirmPaths, NoSelectionGives1AndLeavesTheOutputs) {
  useStore({{L"signer"}});
  auto control = newControl(L"data");
  const ConfirmRun run = confirmRow(control.get(), noItem);
  EXPECT_EQ(run.dialog.result, kNothingSigned);
  EXPECT_FALSE(run.box.shown);
  EXPECT_EQ(getIssuerDN(control.get()), L"data");
  EXPECT_EQ(getCertData(control.get()), L"");
}

struct TwinCase {
  const char* name;
  const wchar_t* endDate;  // picks the row
  const wchar_t* signer;
};
void PrintTo(const TwinCase& c, std::ostream* out) { *out << c.name; }

class SameNameOtherSerial : public testing::TestWithParam<TwinCase> {};

// Two certificates named alike: the selected row's serial decides.
TEST_P(SameNameOtherSerial, TheRowsOwnCertificateSigns) {
  const TwinCase& c = GetParam();
  useStore({{L"twin-a"}, {L"twin-b"}});
  auto control = newControl(L"twins");
  const ConfirmRun run = confirmRow(control.get(), itemWith(L"Twin Signer", c.endDate));
  ASSERT_EQ(run.dialog.result, kSigned);
  EXPECT_EQ(decodeBase64(getCertData(control.get())), certificateBytes(c.signer));
  EXPECT_EQ(readMessage(decodeBase64(getIssuerDN(control.get()))).certificate, certificateBytes(c.signer));
  saveForOpenSsl(std::wstring(c.signer), control.get(), L"twins", "sha256", c.signer);
}

INSTANTIATE_TEST_SUITE_P(Table, SameNameOtherSerial,
                         testing::Values(TwinCase{"first_in_list", L"2026/3/20", L"twin-a"},
                                         TwinCase{"second_in_list", L"2026/3/25", L"twin-b"}),
                         [](const testing::TestParamInfo<TwinCase>& info) { return std::string(info.param.name); });

struct ReplacementCase {
  const char* name;
  const wchar_t* replacement;  // put into "MY" after the list was built; none: only removed
  ULONG result;
};
void PrintTo(const ReplacementCase& c, std::ostream* out) { *out << c.name; }

class StoreChangedAfterListing : public testing::TestWithParam<ReplacementCase> {};

// The row's certificate is looked up again at confirmation, by its exact name
// and serial text.
TEST_P(StoreChangedAfterListing, OnlyTheSameNameAndSerialSign) {
  const ReplacementCase& c = GetParam();
  useStore({{L"case-signer"}});
  auto control = newControl(L"data");
  const ConfirmRun run = confirmRow(control.get(), itemWith(L"Case Signer", L"2026/3/20"), [&](HWND) {
    removeFromStore(L"case-signer");
    if (c.replacement != nullptr) addToStore({c.replacement});
  });
  EXPECT_EQ(run.dialog.result, c.result);
  EXPECT_FALSE(run.box.shown);
  if (c.result == kSigned) {
    EXPECT_EQ(decodeBase64(getCertData(control.get())), certificateBytes(c.replacement));
    saveForOpenSsl(L"reissued", control.get(), L"data", "sha256", c.replacement);
  } else {
    EXPECT_EQ(getIssuerDN(control.get()), L"data");
    EXPECT_EQ(getCertData(control.get()), L"");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StoreChangedAfterListing,
    testing::Values(ReplacementCase{"removed", nullptr, kNothingSigned},
                    ReplacementCase{"name_in_other_letter_case", L"case-signer-lower", kNothingSigned},
                    ReplacementCase{"other_serial", L"case-signer-other-serial", kNothingSigned},
                    ReplacementCase{"reissued_with_same_name_and_serial", L"case-signer-reissued", kSigned}),
    [](const testing::TestParamInfo<ReplacementCase>& info) { return std::string(info.param.name); });

// Name and serial text agree for two certificates: the first in the store's
// own order signs, whichever of the two rows was selected.
TEST(ConfirmPaths, SameNameAndSerialTwiceSignsWithTheFirstInStoreOrder) {
  useStore({{L"case-signer"}, {L"case-signer-reissued"}});
  framework::UniqueCertStore store(CertOpenSystemStoreW(0, L"MY"));
  ASSERT_TRUE(store);
  framework::UniqueCertContext first(CertEnumCertificatesInStore(store.get(), nullptr));
  ASSERT_TRUE(first);
  const Bytes firstBytes(first.get()->pbCertEncoded, first.get()->pbCertEncoded + first.get()->cbCertEncoded);
  const bool reissuedFirst = firstBytes == certificateBytes(L"case-signer-reissued");
  // Select the row of the one that comes second.
  auto control = newControl(L"data");
  const ConfirmRun run =
      confirmRow(control.get(), itemWith(L"Case Signer", reissuedFirst ? L"2026/3/20" : L"2026/3/22"));
  ASSERT_EQ(run.dialog.result, kSigned);
  EXPECT_EQ(decodeBase64(getCertData(control.get())), firstBytes);
}

// A certificate whose key is not in the store cannot sign: message 40004,
// result 1, and both outputs keep what the earlier successful run left.
TEST(ConfirmPaths, KeyThatCannotSignShowsTheMessageAndKeepsTheOutputs) {
  useStore({{L"signer"}});
  auto control = newControl(L"first");
  ASSERT_EQ(confirmRow(control.get(), firstItem).dialog.result, kSigned);
  const std::wstring firstCertData = getCertData(control.get());

  useStore({{L"signer", false}});
  putIssuerDN(control.get(), L"second");
  const ConfirmRun run = confirmRow(control.get(), firstItem);
  EXPECT_EQ(run.dialog.result, kNothingSigned);
  expectFailureMessage(run);
  EXPECT_EQ(getIssuerDN(control.get()), L"second");
  EXPECT_EQ(getCertData(control.get()), firstCertData);
}

struct OversizeCase {
  const char* name;
  const wchar_t* signer;
  size_t textLength;
};
void PrintTo(const OversizeCase& c, std::ostream* out) { *out << c.name; }

class OutputTooLong : public testing::TestWithParam<OversizeCase> {};

// An output over 8191 characters is never cut: it takes the failure path.
TEST_P(OutputTooLong, TakesTheSigningFailurePath) {
  const OversizeCase& c = GetParam();
  useStore({{c.signer}});
  const std::wstring text(c.textLength, L'x');
  auto control = newControl(text);
  const ConfirmRun run = confirmRow(control.get(), firstItem);
  EXPECT_EQ(run.dialog.result, kNothingSigned);
  expectFailureMessage(run);
  EXPECT_EQ(getIssuerDN(control.get()), text);
  EXPECT_EQ(getCertData(control.get()), L"");
}

INSTANTIATE_TEST_SUITE_P(Table, OutputTooLong,
                         testing::Values(OversizeCase{"certificate_over_5955_bytes", L"big-signer", 3},
                                         OversizeCase{"message_over_5955_bytes", L"signer", 3000}),
                         [](const testing::TestParamInfo<OversizeCase>& info) { return std::string(info.param.name); });

// The signed message grows by 2 bytes per character: the longest text whose
// message still fits 8191 characters signs, one character more does not.
TEST(ConfirmPaths, LongestMessageThatFitsSignsAndOneCharacterMoreFails) {
  useStore({{L"signer"}});
  constexpr size_t kProbe = 1000;
  auto probe = newControl(std::wstring(kProbe, L'x'));
  ASSERT_EQ(confirmRow(probe.get(), firstItem).dialog.result, kSigned);
  const size_t fixedPart = decodeBase64(getIssuerDN(probe.get())).size() - 2 * kProbe;
  constexpr size_t kMostBytes = 5955;  // 8190 characters of base64 text
  const size_t fitting = (kMostBytes - fixedPart) / 2;

  auto fits = newControl(std::wstring(fitting, L'x'));
  const ConfirmRun signedRun = confirmRow(fits.get(), firstItem);
  ASSERT_EQ(signedRun.dialog.result, kSigned);
  EXPECT_FALSE(signedRun.box.shown);
  const std::wstring longest = getIssuerDN(fits.get());
  EXPECT_GE(longest.size(), 8189u);
  EXPECT_LE(longest.size(), 8191u);
  EXPECT_EQ(base64FormProblem(longest), "");
  EXPECT_EQ(readMessage(decodeBase64(longest)).content, utf16Bytes(std::wstring(fitting, L'x')));
  saveForOpenSsl(L"longest", fits.get(), std::wstring(fitting, L'x'), "sha256", L"signer");

  auto tooLong = newControl(std::wstring(fitting + 1, L'x'));
  const ConfirmRun failedRun = confirmRow(tooLong.get(), firstItem);
  EXPECT_EQ(failedRun.dialog.result, kNothingSigned);
  expectFailureMessage(failedRun);
  EXPECT_EQ(getCertData(tooLong.get()), L"");
}

// IssuerDN is input and output: a second run without a new put signs the
// base64 text of the first message.
TEST(ConfirmPaths, SecondRunSignsThePreviousBase64Text) {
  useStore({{L"signer"}});
  auto control = newControl(L"abc");
  ASSERT_EQ(confirmRow(control.get(), firstItem).dialog.result, kSigned);
  const std::wstring firstMessage = getIssuerDN(control.get());
  ASSERT_EQ(confirmRow(control.get(), firstItem).dialog.result, kSigned);
  EXPECT_EQ(readMessage(decodeBase64(getIssuerDN(control.get()))).content, utf16Bytes(firstMessage));
  saveForOpenSsl(L"second-run", control.get(), firstMessage, "sha256", L"signer");
}

TEST(ConfirmPaths, CancelledSecondRunKeepsTheFirstRunsOutputs) {
  useStore({{L"signer"}});
  auto control = newControl(L"abc");
  ASSERT_EQ(confirmRow(control.get(), firstItem).dialog.result, kSigned);
  const std::wstring issuerDN = getIssuerDN(control.get());
  const std::wstring certData = getCertData(control.get());
  const auto run = testing_support::runSignRenewal(control.get(), testing_support::cancelDialog);
  EXPECT_EQ(run.result, kCancelled);
  EXPECT_EQ(getIssuerDN(control.get()), issuerDN);
  EXPECT_EQ(getCertData(control.get()), certData);
}

// Takes every access right on the current user's "MY" registry key away, so
// that the store cannot be opened, until destroyed.
class PersonalStoreLocked {
 public:
  PersonalStoreLocked() {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\SystemCertificates\\MY", 0, nullptr, 0,
                        READ_CONTROL | WRITE_DAC, nullptr, key_.put(), nullptr) != ERROR_SUCCESS)
      return;
    if (GetSecurityInfo(key_.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldDacl_,
                        nullptr, &oldDescriptor_) != ERROR_SUCCESS)
      return;
    ACL empty{};
    InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
    locked_ = SetSecurityInfo(key_.get(), SE_REGISTRY_KEY,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &empty, nullptr) == ERROR_SUCCESS;
  }
  ~PersonalStoreLocked() { unlock(); }
  bool locked() const { return locked_; }
  void unlock() {
    if (locked_) SetSecurityInfo(key_.get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, oldDacl_, nullptr);
    locked_ = false;
    if (oldDescriptor_ != nullptr) LocalFree(oldDescriptor_);
    oldDescriptor_ = nullptr;
  }

 private:
  framework::UniqueKey key_;
  PACL oldDacl_ = nullptr;
  PSECURITY_DESCRIPTOR oldDescriptor_ = nullptr;
  bool locked_ = false;
};

struct LockedStoreCase {
  const char* name;
  bool confirmAgain;  // after the store is back; else cancel
  ULONG result;
};
void PrintTo(const LockedStoreCase& c, std::ostream* out) { *out << c.name; }

class StoreCannotBeOpened : public testing::TestWithParam<LockedStoreCase> {};

// Confirming while "MY" cannot be opened leaves the dialog open with its list;
// the user may then confirm again or cancel. A handler that had ended the
// dialog would have cleared its list handle: the second confirmation could
// not sign then.
TEST_P(StoreCannotBeOpened, DialogStaysOpenForAnotherTry) {
  const LockedStoreCase& c = GetParam();
  useStore({{L"signer"}});
  auto control = newControl(L"data");
  bool openedWhileLocked = true;
  const auto run = testing_support::runSignRenewal(control.get(), [&](HWND dialog) {
    selectItem(GetDlgItem(dialog, 1002), 0);
    PersonalStoreLocked lock;
    if (!lock.locked()) {
      ADD_FAILURE() << "could not lock the store";
      testing_support::cancelDialog(dialog);
      return;
    }
    framework::UniqueCertStore probe(CertOpenSystemStoreW(0, L"MY"));
    openedWhileLocked = static_cast<bool>(probe);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    lock.unlock();
    if (c.confirmAgain)
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    else
      testing_support::cancelDialog(dialog);
  });
  EXPECT_FALSE(openedWhileLocked) << "the lock did not keep the store shut";
  EXPECT_EQ(run.result, c.result);
  if (c.result == kSigned) {
    EXPECT_EQ(readMessage(decodeBase64(getIssuerDN(control.get()))).content, utf16Bytes(L"data"));
    saveForOpenSsl(L"after-locked-store", control.get(), L"data", "sha256", L"signer");
  } else {
    EXPECT_EQ(getIssuerDN(control.get()), L"data");
    EXPECT_EQ(getCertData(control.get()), L"");
  }
}

INSTANTIATE_TEST_SUITE_P(Table, StoreCannotBeOpened,
                         testing::Values(LockedStoreCase{"then_confirmed_again", true, kSigned},
                                         LockedStoreCase{"then_cancelled", false, kCancelled}),
                         [](const testing::TestParamInfo<LockedStoreCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
