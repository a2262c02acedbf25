#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "signing/eligibility_checks.h"
#include "signing/text/authority_checks.h"
#include "tests/support/cert_store_setup.h"
#include "tests/support/self_signed.h"
#include "tests/support/test_names.h"
#include "tests/support/wide_text.h"
#include "tests/tools/trace-capture/trace_capture.h"

namespace {

using testing_support::Bytes;
using Lines = std::vector<std::wstring>;

constexpr wchar_t kValueDoorStart[] = L"[start checkValueDoor]\n";
constexpr wchar_t kValueDoorEnd[] = L"[end checkValueDoor]\n";
constexpr wchar_t kPrivateStart[] = L"[start checkSymantecPrivate]\n";
constexpr wchar_t kPrivateEnd[] = L"[end checkSymantecPrivate]\n";

// 2026-03-01 00:00:00 UTC: the check certificates (ending 2026-01-01) lie in
// its renewal window.
constexpr int64_t kMarch2026 = 1772323200;

// ---- Certificates -------------------------------------------------------

Bytes listCertificate(const wchar_t* file) {
  return testing_support::readFileBytes(
      testing_support::pathBesideProgram(std::wstring(L"..\\test-certs\\list\\") + file));
}

using testing_support::Extension;

constexpr char kAuthorityKeyIdOid[] = "2.5.29.35";
constexpr char kPrivateIssuerOid[] = "2.16.840.1.113733.1.6.9";

// An authority key identifier value 30 16 80 14 id for known entry `entry`
// (0-based), with its last byte changed when `lastByteDiffers`.
Extension keyIdExtension(size_t entry, bool lastByteDiffers = false) {
  Bytes value = {0x30, 0x16, 0x80, 0x14};
  value.insert(value.end(), korvel::knownAuthorityKeyIds[entry], korvel::knownAuthorityKeyIds[entry] + 20);
  if (lastByteDiffers) value.back() ^= 0x01;
  return {kAuthorityKeyIdOid, value};
}

Extension privateIssuerExtension(Bytes value) { return {kPrivateIssuerOid, std::move(value)}; }

// Self-signed (issuer = subject), valid 2025-01-01 .. 2026-01-01 like the
// check certificates. OpenSSL keeps one extension per OID; the platform
// encodes any list.
Bytes selfSigned(const wchar_t* commonName, const std::vector<Extension>& extensions) {
  const SYSTEMTIME from{2025, 1, 3, 1, 0, 0, 0, 0};
  const SYSTEMTIME to{2026, 1, 4, 1, 0, 0, 0, 0};
  return testing_support::selfSignedCertificate(commonName, extensions, from, to);
}

// One certificate of a case: how to make it and what each check gives.
struct Certificate {
  std::string label;
  std::function<Bytes()> make;
  int valueDoor;
  int symantecPrivate;
};

Certificate file(const wchar_t* name, int valueDoor, int symantecPrivate) {
  return {testing_support::utf8(name), [name] { return listCertificate(name); }, valueDoor, symantecPrivate};
}

Certificate made(const char* label, const wchar_t* commonName, std::vector<Extension> extensions, int valueDoor,
                 int symantecPrivate) {
  return {label, [commonName, extensions] { return selfSigned(commonName, extensions); }, valueDoor,
          symantecPrivate};
}

// The lines that list building writes for one certificate: the private-issuer
// check runs only for a certificate that the key-identifier check refused.
Lines linesFor(const Certificate& certificate) {
  Lines lines = {kValueDoorStart, kValueDoorEnd};
  if (certificate.valueDoor != 1) {
    lines.push_back(kPrivateStart);
    lines.push_back(kPrivateEnd);
  }
  return lines;
}

// ---- Running the dialog under the debugger --------------------------------

struct ChildRun {
  trace_capture::Capture capture;
  long rows = -1;
};

ChildRun runDialogChild(int64_t serverTime) {
  const std::wstring child = testing_support::pathBesideProgram(L"trace_child.exe");
  ChildRun run;
  run.capture = trace_capture::runUnderDebugger(L"\"" + child + L"\" " + std::to_wstring(serverTime));
  const size_t marker = run.capture.output.find("trace-child: rows ");
  if (marker != std::string::npos) run.rows = std::stol(run.capture.output.substr(marker + 18));
  return run;
}

std::string shown(const Lines& lines) {
  std::string text;
  for (const auto& line : lines) {
    for (char c : testing_support::utf8(line)) text += c == '\n' ? std::string("\\n") : std::string(1, c);
    text += " | ";
  }
  return text;
}

struct TraceCase {
  const char* what;
  std::vector<Certificate> certificates;
  int64_t serverTime;
  long rows;  // rows the dialog shows
};

void PrintTo(const TraceCase& traceCase, std::ostream* out) { *out << traceCase.what; }

class TraceLines : public testing::TestWithParam<TraceCase> {
 protected:
  // Fills "MY" with the case's certificates and gives the lines expected in
  // the store's enumeration order, which is the order list building sees.
  Lines setUpStore() {
    const auto& certificates = GetParam().certificates;
    std::vector<Bytes> encoded;
    EXPECT_EQ(testing_support::clearPersonalStore(), S_OK);
    for (const auto& certificate : certificates) {
      encoded.push_back(certificate.make());
      EXPECT_FALSE(encoded.back().empty()) << certificate.label;
      EXPECT_EQ(testing_support::addCertificate(encoded.back()), S_OK) << certificate.label;
    }
    Lines expected;
    size_t seen = 0;
    framework::UniqueCertStore store(CertOpenSystemStoreW(0, L"MY"));
    PCCERT_CONTEXT context = nullptr;
    while ((context = CertEnumCertificatesInStore(store.get(), context)) != nullptr) {
      const Bytes der(context->pbCertEncoded, context->pbCertEncoded + context->cbCertEncoded);
      for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != der) continue;
        const Lines lines = linesFor(certificates[i]);
        expected.insert(expected.end(), lines.begin(), lines.end());
        ++seen;
      }
    }
    EXPECT_EQ(seen, certificates.size());
    return expected;
  }
};

TEST_P(TraceLines, ListBuildingWritesTheChecksLinesInOrder) {
  const Lines expected = setUpStore();
  const ChildRun run = runDialogChild(GetParam().serverTime);
  ASSERT_TRUE(run.capture.started);
  ASSERT_TRUE(run.capture.exited);
  ASSERT_NE(run.rows, -1) << run.capture.output;
  EXPECT_EQ(run.capture.lines, expected) << GetParam().what << "\n got: " << shown(run.capture.lines)
                                         << "\n expected: " << shown(expected);
  EXPECT_EQ(run.rows, GetParam().rows) << GetParam().what;
  EXPECT_EQ(testing_support::clearPersonalStore(), S_OK);
}

// The checks' own results for the same certificates, called directly.
TEST_P(TraceLines, ChecksGiveTheirResults) {
  for (const auto& certificate : GetParam().certificates) {
    const Bytes der = certificate.make();
    ASSERT_FALSE(der.empty()) << certificate.label;
    framework::UniqueCertContext context(
        CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
    ASSERT_TRUE(context) << certificate.label;
    EXPECT_EQ(korvel::checkValueDoor(context.get()), certificate.valueDoor) << certificate.label;
    EXPECT_EQ(korvel::checkSymantecPrivate(context.get()), certificate.symantecPrivate) << certificate.label;
  }
}

const Bytes kTrue = {0x01, 0x01, 0xFF};
const Bytes kFalse = {0x01, 0x01, 0x00};
constexpr wchar_t kPrivateName[] = L"ro-mendal Agency CA";

INSTANTIATE_TEST_SUITE_P(
    Table, TraceLines,
    testing::Values(
        TraceCase{"empty store", {}, kMarch2026, 0},
        TraceCase{"no extensions", {file(L"check-no-ext.der", 0, 0)}, kMarch2026, 0},
        TraceCase{"identifier of entry 1", {file(L"check-entry-1.der", 1, 0)}, kMarch2026, 1},
        TraceCase{"identifier of entry 2", {file(L"check-entry-2.der", 1, 0)}, kMarch2026, 1},
        TraceCase{"identifier of entry 3", {file(L"check-entry-3.der", 1, 0)}, kMarch2026, 1},
        TraceCase{"entry 1 with another last byte", {file(L"check-entry-1-last-byte.der", 0, 0)}, kMarch2026, 0},
        TraceCase{"20 zero bytes (empty entry 4)", {file(L"check-zeros.der", 1, 0)}, kMarch2026, 1},
        TraceCase{"identifier shorter than its length byte", {file(L"check-short-id.der", 0, 0)}, kMarch2026, 0},
        TraceCase{"key identifier value of 3 bytes", {file(L"check-header-only.der", 0, 0)}, kMarch2026, 0},
        TraceCase{"private issuer, 01 01 FF", {file(L"check-private.der", 0, 1)}, kMarch2026, 1},
        TraceCase{"private issuer, 01 01 00", {file(L"check-private-false.der", 0, 0)}, kMarch2026, 0},
        TraceCase{"private issuer, 01 01 FF 00 04", {file(L"check-private-longer.der", 0, 1)}, kMarch2026, 1},
        TraceCase{"private issuer, value of 2 bytes", {file(L"check-private-short.der", 0, 0)}, kMarch2026, 0},
        TraceCase{"01 01 FF under another issuer", {file(L"check-private-other-issuer.der", 0, 0)}, kMarch2026, 0},
        TraceCase{"01 01 FF under the issuer name in lower case",
                  {file(L"check-private-lowercase-issuer.der", 0, 0)}, kMarch2026, 0},
        TraceCase{"a later key identifier extension matches",
                  {made("unknown, then entry 2", L"Two Key Ids",
                        {keyIdExtension(0, true), keyIdExtension(1)}, 1, 0)},
                  kMarch2026, 1},
        TraceCase{"the first matching key identifier decides",
                  {made("entry 3, then unknown", L"Two Key Ids",
                        {keyIdExtension(2), keyIdExtension(0, true)}, 1, 0)},
                  kMarch2026, 1},
        TraceCase{"two unknown key identifiers",
                  {made("two unknown", L"Two Key Ids",
                        {keyIdExtension(0, true), keyIdExtension(2, true)}, 0, 0)},
                  kMarch2026, 0},
        TraceCase{"a later private-issuer extension is TRUE",
                  {made("FALSE, then TRUE", kPrivateName,
                        {privateIssuerExtension(kFalse), privateIssuerExtension(kTrue)}, 0, 1)},
                  kMarch2026, 1},
        TraceCase{"known key identifier and private issuer: one check is enough",
                  {made("both", kPrivateName, {keyIdExtension(0), privateIssuerExtension(kTrue)}, 1, 1)},
                  kMarch2026, 1},
        TraceCase{"several certificates, each checked in store order",
                  {file(L"check-entry-1.der", 1, 0), file(L"check-no-ext.der", 0, 0),
                   file(L"check-private.der", 0, 1), file(L"check-entry-1-last-byte.der", 0, 0)},
                  kMarch2026, 2},
        TraceCase{"the checks run before the dates are looked at",
                  {file(L"check-entry-2.der", 1, 0), file(L"check-private-false.der", 0, 0)}, 0, 0}),
    [](const testing::TestParamInfo<TraceCase>& info) { return testing_support::caseNameFrom(info.param.what); });

}  // namespace
