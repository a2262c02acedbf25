#include "tests/signing/signing_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "framework/handles.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/korvel_dll.h"
#include "tests/support/wide_text.h"

namespace signing_testing {
namespace {

using testing_support::utf8;

// 2026-03-01 00:00:00 UTC in milliseconds: every signing certificate is listed.
constexpr wchar_t kServerDate[] = L"1772323200000";
constexpr wchar_t kPfxPassword[] = L"test-only";

std::wstring certificatePath(const wchar_t* stem, const wchar_t* extension) {
  return testing_support::pathBesideProgram(std::wstring(L"..\\test-certs\\signing\\") + stem + extension);
}

struct BoxWatch {
  HWND dialog = nullptr;
  MessageBoxSeen seen;
  int ticks = 0;
};
thread_local BoxWatch boxWatch;

BOOL CALLBACK findMessageBox(HWND window, LPARAM found) {
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  if (window == boxWatch.dialog || wcscmp(className, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

BOOL CALLBACK collectStaticText(HWND child, LPARAM texts) {
  wchar_t className[32] = {};
  GetClassNameW(child, className, 32);
  if (_wcsicmp(className, L"Static") == 0) {
    std::wstring text = testing_support::windowText(child);
    if (!text.empty()) reinterpret_cast<std::vector<std::wstring>*>(texts)->push_back(text);
  }
  return TRUE;
}

// Runs inside whatever message loop is active, the message box's included.
void CALLBACK watchForMessageBox(HWND, UINT, UINT_PTR timer, DWORD) {
  if (boxWatch.seen.shown || ++boxWatch.ticks > 1000) {
    KillTimer(nullptr, timer);
    return;
  }
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), findMessageBox, reinterpret_cast<LPARAM>(&box));
  if (box == nullptr) return;
  KillTimer(nullptr, timer);
  boxWatch.seen.shown = true;
  boxWatch.seen.caption = testing_support::windowText(box);
  boxWatch.seen.ownedByDialog = GetWindow(box, GW_OWNER) == boxWatch.dialog;
  boxWatch.seen.onlyOkButton = GetDlgItem(box, IDOK) != nullptr && GetDlgItem(box, IDCANCEL) == nullptr &&
                               GetDlgItem(box, IDYES) == nullptr && GetDlgItem(box, IDRETRY) == nullptr;
  std::vector<std::wstring> texts;
  EnumChildWindows(box, collectStaticText, reinterpret_cast<LPARAM>(&texts));
  for (const auto& text : texts) boxWatch.seen.text += text;
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

bool writeFile(const std::wstring& path, const void* data, size_t size) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool written = fwrite(data, 1, size, file) == size;
  return fclose(file) == 0 && written;
}

}  // namespace

void addToStore(const StoreEntry& entry) {
  const HRESULT hr =
      entry.withKey
          ? testing_support::addPfx(testing_support::readFileBytes(certificatePath(entry.stem, L".pfx")), kPfxPassword)
          : testing_support::addCertificate(certificateBytes(entry.stem));
  ASSERT_EQ(hr, S_OK) << utf8(entry.stem);
}

void useStore(const std::vector<StoreEntry>& entries) {
  ASSERT_EQ(testing_support::clearPersonalStore(), S_OK);
  for (const auto& entry : entries) {
    addToStore(entry);
    if (testing::Test::HasFatalFailure()) return;
  }
}

void removeFromStore(const wchar_t* stem) {
  const Bytes der = certificateBytes(stem);
  framework::UniqueCertStore store(CertOpenSystemStoreW(0, L"MY"));
  ASSERT_TRUE(store);
  PCCERT_CONTEXT found = nullptr;
  while ((found = CertEnumCertificatesInStore(store.get(), found)) != nullptr) {
    if (found->cbCertEncoded == der.size() && memcmp(found->pbCertEncoded, der.data(), der.size()) == 0) break;
  }
  ASSERT_NE(found, nullptr) << utf8(stem);
  // Deleting releases the context.
  ASSERT_TRUE(CertDeleteCertificateFromStore(found));
  CertControlStore(store.get(), CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT, nullptr);
}

Bytes certificateBytes(const wchar_t* stem) {
  Bytes der = testing_support::readFileBytes(certificatePath(stem, L".der"));
  EXPECT_FALSE(der.empty()) << utf8(stem);
  return der;
}

framework::ComPtr<IKorvelIE> newControl(const std::wstring& issuerDN) {
  auto control = testing_support::KorvelDll::instance().createControl();
  framework::UniqueBstr date(SysAllocString(kServerDate));
  EXPECT_EQ(control->put_Server_Date(date.get()), S_OK);
  putIssuerDN(control.get(), issuerDN);
  return control;
}

void putIssuerDN(IKorvelIE* control, const std::wstring& text) {
  framework::UniqueBstr value(testing_support::makeBstr(text));
  EXPECT_EQ(control->put_IssuerDN(value.get()), S_OK);
}

std::wstring getIssuerDN(IKorvelIE* control) {
  BSTR raw = nullptr;
  EXPECT_EQ(control->get_IssuerDN(&raw), S_OK);
  framework::UniqueBstr value(raw);
  return value ? std::wstring(value.get(), SysStringLen(value.get())) : std::wstring(L"<null>");
}

std::wstring getCertData(IKorvelIE* control) {
  BSTR raw = nullptr;
  EXPECT_EQ(control->get_CertData(&raw), S_OK);
  framework::UniqueBstr value(raw);
  return value ? std::wstring(value.get(), SysStringLen(value.get())) : std::wstring(L"<null>");
}

void selectItem(HWND list, int item) {
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&state));
}

ConfirmRun confirmRow(IKorvelIE* control, const RowChooser& choose, const BeforeConfirm& before) {
  ConfirmRun run;
  UINT_PTR watcher = 0;
  run.dialog = testing_support::runSignRenewal(control, [&](HWND dialog) {
    HWND list = GetDlgItem(dialog, 1002);
    const int item = choose(list);
    if (item >= 0) selectItem(list, item);
    if (before) before(dialog);
    boxWatch = BoxWatch{dialog, {}, 0};
    watcher = SetTimer(nullptr, 0, 10, watchForMessageBox);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  });
  if (watcher != 0 && !boxWatch.seen.shown) KillTimer(nullptr, watcher);
  run.box = boxWatch.seen;
  boxWatch = BoxWatch{};
  EXPECT_TRUE(run.dialog.sawDialog);
  EXPECT_EQ(run.dialog.hr, S_OK);
  return run;
}

int firstItem(HWND) { return 0; }
int noItem(HWND) { return -1; }

RowChooser itemWith(const std::wstring& name, const std::wstring& endDate) {
  return [name, endDate](HWND list) {
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int item = 0; item < count; ++item) {
      if (testing_support::listText(list, item, 0) == name && testing_support::listText(list, item, 2) == endDate) return item;
    }
    ADD_FAILURE() << "no row " << utf8(name) << " " << utf8(endDate);
    return -1;
  };
}

std::string base64FormProblem(const std::wstring& text) {
  static const std::wstring alphabet = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  if (text.empty()) return "empty";
  std::wstring joined;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) return "text does not end with CR LF";
    const std::wstring line = text.substr(start, end - start);
    start = end + 2;
    if (line.empty() || line.size() > 64) return "line of " + std::to_string(line.size()) + " characters";
    if (line.size() < 64 && start != text.size()) return "short line before the last";
    joined += line;
  }
  if (joined.size() % 4 != 0) return "characters not a multiple of 4";
  const size_t padding = joined.size() - joined.find_last_not_of(L'=') - 1;
  if (padding > 2) return "too much padding";
  for (size_t i = 0; i < joined.size() - padding; ++i) {
    if (alphabet.find(joined[i]) == std::wstring::npos) return "character outside the alphabet";
  }
  return std::string();
}

Bytes decodeBase64(const std::wstring& text) {
  DWORD size = 0;
  if (!CryptStringToBinaryW(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, nullptr, &size,
                            nullptr, nullptr))
    return Bytes();
  Bytes bytes(size);
  if (!CryptStringToBinaryW(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, bytes.data(), &size,
                            nullptr, nullptr))
    return Bytes();
  bytes.resize(size);
  return bytes;
}

namespace {

void closeMessage(HCRYPTMSG message) { CryptMsgClose(message); }
using UniqueMessage = framework::UniqueAny<HCRYPTMSG, closeMessage>;

Bytes messageParam(HCRYPTMSG message, DWORD type, DWORD index, bool* ok) {
  DWORD size = 0;
  *ok = CryptMsgGetParam(message, type, index, nullptr, &size) != FALSE;
  Bytes value(size);
  if (*ok && size != 0) *ok = CryptMsgGetParam(message, type, index, value.data(), &size) != FALSE;
  value.resize(*ok ? size : 0);
  return value;
}

template <typename T>
T messageValue(HCRYPTMSG message, DWORD type) {
  T value{};
  DWORD size = sizeof(value);
  CryptMsgGetParam(message, type, 0, &value, &size);
  return value;
}

}  // namespace

MessageContent readMessage(const Bytes& bytes) {
  MessageContent read;
  UniqueMessage message(CryptMsgOpenToDecode(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, 0, 0, nullptr, nullptr));
  if (!message || !CryptMsgUpdate(message.get(), bytes.data(), static_cast<DWORD>(bytes.size()), TRUE)) return read;
  bool ok = false;
  // Empty content may be encoded as absent, which the decoder reports as a
  // missing parameter.
  read.content = messageParam(message.get(), CMSG_CONTENT_PARAM, 0, &ok);
  read.signerCount = messageValue<DWORD>(message.get(), CMSG_SIGNER_COUNT_PARAM);
  read.certificateCount = messageValue<DWORD>(message.get(), CMSG_CERT_COUNT_PARAM);
  read.certificate = messageParam(message.get(), CMSG_CERT_PARAM, 0, &ok);
  const Bytes signerInfo = messageParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, &ok);
  if (!ok || signerInfo.size() < sizeof(CMSG_SIGNER_INFO)) return read;
  const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(signerInfo.data());
  read.hashOid = signer->HashAlgorithm.pszObjId ? signer->HashAlgorithm.pszObjId : "";
  read.hasSignedAttributes = signer->AuthAttrs.cAttr != 0;
  read.decoded = true;
  return read;
}

Bytes utf16Bytes(const std::wstring& text) {
  Bytes bytes;
  for (wchar_t unit : text) {
    bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
    bytes.push_back(static_cast<unsigned char>((unit >> 8) & 0xFF));
  }
  return bytes;
}

void saveForOpenSsl(const std::wstring& name, IKorvelIE* control, const std::wstring& putText, const char* digest,
                    const wchar_t* signerStem) {
  std::wstring folder = testing_support::pathBesideProgram(L"..\\test-out");
  CreateDirectoryW(folder.c_str(), nullptr);
  folder += L"\\signing";
  CreateDirectoryW(folder.c_str(), nullptr);
  folder += L"\\" + name;
  CreateDirectoryW(folder.c_str(), nullptr);
  const Bytes message = decodeBase64(getIssuerDN(control));
  const Bytes certificate = decodeBase64(getCertData(control));
  const std::string content = utf8(putText);
  const std::string signer = utf8(signerStem);
  EXPECT_TRUE(writeFile(folder + L"\\message.der", message.data(), message.size()));
  EXPECT_TRUE(writeFile(folder + L"\\cert.der", certificate.data(), certificate.size()));
  EXPECT_TRUE(writeFile(folder + L"\\content.txt", content.data(), content.size()));
  EXPECT_TRUE(writeFile(folder + L"\\digest", digest, strlen(digest)));
  EXPECT_TRUE(writeFile(folder + L"\\signer", signer.data(), signer.size()));
}

}  // namespace signing_testing
