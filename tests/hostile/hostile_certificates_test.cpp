// Certificates built to break the readers, one at a time in "MY": the dialog
// opens every time, lists exactly the ones that qualify, the checks' trace
// lines come in order, and a confirm signs with a listed one (OpenSSL judges
// the outputs afterwards) or ends as stated.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "signing/text/authority_checks.h"
#include "tests/signing/signing_test_support.h"
#include "tests/support/cert_store_setup.h"
#include "tests/support/korvel_dll.h"
#include "tests/support/self_signed.h"
#include "tests/support/test_names.h"
#include "tests/support/wide_text.h"
#include "tests/tools/trace-capture/trace_capture.h"

namespace {

using testing_support::Bytes;
using Lines = std::vector<std::wstring>;

constexpr int64_t kMarch2026 = 1772323200;
constexpr int64_t kDecember2999 = 32501001600;
constexpr int64_t kDecember3000 = 32534179200;
constexpr int64_t kDecember9999 = 253399622400;
constexpr ULONG kSigned = 0;
constexpr ULONG kNothingSigned = 1;
constexpr ULONG kEmptyList = 0x80001091;
constexpr wchar_t kPassword[] = L"test-only";

std::wstring hostilePath(const std::wstring& file) {
  return testing_support::pathBesideProgram(L"..\\test-certs\\hostile\\" + file);
}

// ---- Certificates the platform makes (OpenSSL cannot) ----------------------

Bytes knownKeyIdValue() {
  Bytes value = {0x30, 0x16, 0x80, 0x14};
  value.insert(value.end(), korvel::knownAuthorityKeyIds[0], korvel::knownAuthorityKeyIds[0] + 20);
  return value;
}

Bytes selfSigned(const std::wstring& commonName, const std::vector<testing_support::Extension>& extensions) {
  const SYSTEMTIME from{2025, 6, 0, 1, 0, 0, 0, 0};
  const SYSTEMTIME to{2026, 3, 5, 20, 0, 0, 0, 0};
  return testing_support::selfSignedCertificate(commonName, extensions, from, to);
}

std::wstring longName() {
  std::wstring name;
  for (int i = 0; i < 65535; ++i) name += static_cast<wchar_t>(L'a' + i % 26);
  return name;
}

// ---- The table -------------------------------------------------------------

enum class Confirm { Signs, SigningFails, EmptyList };

struct HostileCase {
  const char* what;
  const wchar_t* stem;              // OpenSSL-made, with its key in stem.pfx; else made below
  std::function<Bytes()> make;      // platform-made, with no usable key
  int64_t serverTime;
  int valueDoor;                    // what each check gives
  int symantecPrivate;
  Confirm confirm;                  // also says whether it is listed
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.what; }

HostileCase openSsl(const char* what, const wchar_t* stem, int valueDoor, int symantecPrivate, bool listed,
                    int64_t serverTime = kMarch2026) {
  return {what, stem, {}, serverTime, valueDoor, symantecPrivate, listed ? Confirm::Signs : Confirm::EmptyList};
}

HostileCase platform(const char* what, std::function<Bytes()> make, int valueDoor, int symantecPrivate,
                     bool listed) {
  return {what, nullptr, std::move(make), kMarch2026, valueDoor, symantecPrivate,
          listed ? Confirm::SigningFails : Confirm::EmptyList};
}

const std::vector<HostileCase>& hostileCases() {
  static const std::vector<HostileCase> cases = {
      platform("key identifier value empty", [] { return selfSigned(L"Hostile aki-empty", {{"2.5.29.35", {}}}); },
               0, 0, false),
      openSsl("key identifier length byte 0", L"aki-length-0", 0, 0, false),
      openSsl("key identifier of 19 bytes, a prefix of entry 1", L"aki-length-19", 0, 0, false),
      openSsl("key identifier of 21 bytes, entry 1 and one more", L"aki-length-21", 0, 0, false),
      openSsl("length byte 255 with 20 bytes after it", L"aki-length-255-short", 0, 0, false),
      openSsl("length byte 255 with 255 bytes after it", L"aki-length-255", 0, 0, false),
      openSsl("entry 1 under tag 81 instead of 80", L"aki-other-tag", 1, 0, true),
      openSsl("entry 1 nested one sequence deeper", L"aki-nested", 0, 0, false),
      openSsl("keyIdentifier repeated, entry 1 first", L"aki-repeated", 1, 0, true),
      openSsl("keyIdentifier repeated, unknown first", L"aki-repeated-unknown-first", 0, 0, false),
      platform("private-issuer value empty",
               [] { return selfSigned(L"ro-mendal Agency CA", {{"2.16.840.1.113733.1.6.9", {}}}); }, 0, 0, false),
      openSsl("private-issuer value of one byte", L"private-one-byte", 0, 0, false),
      openSsl("private-issuer value 01 02 FF 00", L"private-01-02-ff-00", 0, 0, false),
      openSsl("private-issuer value of 1,000 bytes from 01 01 FF", L"private-1000-bytes", 0, 1, true),
      // A serial of no byte cannot be tested here: the platform encodes such a
      // certificate but refuses to decode it (CRYPT_E_ASN1_BADTAG), so it never
      // reaches "MY".
      openSsl("serial number of 20 bytes", L"serial-20-bytes", 1, 0, true),
      platform("name of 65,535 characters",
               [] { return selfSigned(longName(), {{"2.5.29.35", knownKeyIdValue()}}); }, 1, 0, true),
      openSsl("valid from 1601", L"start-1601", 1, 0, true),
      openSsl("valid from 1899", L"start-1899", 1, 0, true),
      openSsl("valid from 1900, before the runtime's range", L"start-1900", 1, 0, false),
      openSsl("valid until 2999", L"end-2999", 1, 0, true, kDecember2999),
      openSsl("valid until 3001, after the runtime's range", L"end-3001", 1, 0, false, kDecember3000),
      openSsl("valid until 9999", L"end-9999", 1, 0, false, kDecember9999),
  };
  return cases;
}

class HostileCertificate : public testing::TestWithParam<HostileCase> {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  static void TearDownTestSuite() {
    testing_support::clearPersonalStore();
    CoUninitialize();
  }

  // Makes "MY" hold only this case's certificate; gives its DER bytes.
  Bytes fillStore() {
    const HostileCase& c = GetParam();
    EXPECT_EQ(testing_support::clearPersonalStore(), S_OK);
    if (c.stem != nullptr) {
      const Bytes pfx = testing_support::readFileBytes(hostilePath(std::wstring(c.stem) + L".pfx"));
      EXPECT_EQ(testing_support::addPfx(pfx, kPassword), S_OK);
      return testing_support::readFileBytes(hostilePath(std::wstring(c.stem) + L".der"));
    }
    const Bytes der = c.make();
    EXPECT_FALSE(der.empty()) << "the platform did not make the certificate";
    EXPECT_EQ(testing_support::addCertificate(der), S_OK);
    return der;
  }
};

Lines expectedLines(const HostileCase& c) {
  Lines lines = {L"[start checkValueDoor]\n", L"[end checkValueDoor]\n"};
  if (c.valueDoor != 1) {
    lines.push_back(L"[start checkSymantecPrivate]\n");
    lines.push_back(L"[end checkSymantecPrivate]\n");
  }
  return lines;
}

bool writeFile(const std::wstring& path, const void* data, size_t size) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool written = fwrite(data, 1, size, file) == size;
  return fclose(file) == 0 && written;
}

// Leaves the outputs for the OpenSSL check in test-out\hostile\<stem>.
void saveForOpenSsl(const wchar_t* stem, const std::wstring& issuerDN, const std::wstring& certData,
                    const std::wstring& putText) {
  std::wstring folder = testing_support::pathBesideProgram(L"..\\test-out");
  for (const wchar_t* part : {L"\\hostile\\", stem}) {
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += part;
  }
  CreateDirectoryW(folder.c_str(), nullptr);
  const Bytes message = signing_testing::decodeBase64(issuerDN);
  const Bytes certificate = signing_testing::decodeBase64(certData);
  const std::string content = testing_support::utf8(putText);
  const std::string signer = testing_support::utf8(stem);
  EXPECT_TRUE(writeFile(folder + L"\\message.der", message.data(), message.size()));
  EXPECT_TRUE(writeFile(folder + L"\\cert.der", certificate.data(), certificate.size()));
  EXPECT_TRUE(writeFile(folder + L"\\content.txt", content.data(), content.size()));
  EXPECT_TRUE(writeFile(folder + L"\\digest", "sha256", 6));
  EXPECT_TRUE(writeFile(folder + L"\\signer", signer.data(), signer.size()));
}

std::wstring get(IKorvelIE* control, HRESULT (STDMETHODCALLTYPE IKorvelIE::*member)(BSTR*)) {
  BSTR raw = nullptr;
  EXPECT_EQ((control->*member)(&raw), S_OK);
  framework::UniqueBstr value(raw);
  return std::wstring(value.get(), SysStringLen(value.get()));
}

// The dialog over the certificate in a child under the debugger: the lines
// of the checks, in order, and the rows it shows.
TEST_P(HostileCertificate, DialogListsItAsTheChecksSayWithTheirLinesInOrder) {
  const HostileCase& c = GetParam();
  fillStore();
  ASSERT_FALSE(HasFailure());
  const std::wstring child = testing_support::pathBesideProgram(L"trace_child.exe");
  const auto capture =
      trace_capture::runUnderDebugger(L"\"" + child + L"\" " + std::to_wstring(c.serverTime));
  ASSERT_TRUE(capture.exited);
  const size_t marker = capture.output.find("trace-child: rows ");
  ASSERT_NE(marker, std::string::npos) << "the dialog did not open: " << capture.output;
  const long rows = std::stol(capture.output.substr(marker + 18));
  EXPECT_EQ(rows, c.confirm == Confirm::EmptyList ? 0 : 1);
  EXPECT_EQ(capture.lines, expectedLines(c));
}

// A confirm on the listed row signs, or takes the signing-failure path when
// the certificate has no usable key; with nothing listed it is the empty list.
TEST_P(HostileCertificate, ConfirmSignsOrEndsAsStated) {
  const HostileCase& c = GetParam();
  const Bytes der = fillStore();
  ASSERT_FALSE(HasFailure());
  auto control = testing_support::KorvelDll::instance().createControl();
  ASSERT_TRUE(control);
  framework::UniqueBstr date(testing_support::makeBstr(std::to_wstring(c.serverTime * 1000)));
  ASSERT_EQ(control->put_Server_Date(date.get()), S_OK);
  const std::string what = c.what;  // ASCII
  const std::wstring data = L"hostile " + std::wstring(what.begin(), what.end());
  signing_testing::putIssuerDN(control.get(), data);

  const auto run = signing_testing::confirmRow(control.get(), signing_testing::firstItem);
  const std::wstring issuerDN = get(control.get(), &IKorvelIE::get_IssuerDN);
  const std::wstring certData = get(control.get(), &IKorvelIE::get_CertData);
  switch (c.confirm) {
    case Confirm::Signs: {
      ASSERT_EQ(run.dialog.result, kSigned);
      EXPECT_FALSE(run.box.shown);
      const auto message = signing_testing::readMessage(signing_testing::decodeBase64(issuerDN));
      EXPECT_TRUE(message.decoded);
      EXPECT_EQ(message.content, signing_testing::utf16Bytes(data));
      EXPECT_EQ(signing_testing::decodeBase64(certData), der);
      saveForOpenSsl(c.stem, issuerDN, certData, data);
      break;
    }
    case Confirm::SigningFails:
      EXPECT_EQ(run.dialog.result, kNothingSigned);
      EXPECT_TRUE(run.box.shown);
      EXPECT_EQ(issuerDN, data);
      EXPECT_EQ(certData, L"");
      break;
    case Confirm::EmptyList:
      EXPECT_EQ(run.dialog.result, kEmptyList);
      EXPECT_FALSE(run.box.shown);
      EXPECT_EQ(issuerDN, data);
      EXPECT_EQ(certData, L"");
      break;
  }
}

std::string caseName(const testing::TestParamInfo<HostileCase>& info) {
  return testing_support::caseNameFrom(info.param.what);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileCertificate, testing::ValuesIn(hostileCases()), caseName);

}  // namespace
