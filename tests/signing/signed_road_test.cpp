#include <gtest/gtest.h>

#include <algorithm>

#include "signing/signature.h"
#include "tests/signing/signing_test_support.h"
#include "tests/support/wide_text.h"

using namespace signing_testing;

namespace {

struct ContentCase {
  const char* name;  // also the folder of the OpenSSL check
  std::wstring text;
  Bytes signedBytes;
};

void PrintTo(const ContentCase& c, std::ostream* out) { *out << c.name; }

class SignedContent : public testing::TestWithParam<ContentCase> {};

// The whole road through the real dialog: the message embeds exactly the
// UTF-16LE units of what the page put and carries the signer's certificate.
TEST_P(SignedContent, MessageEmbedsTheTextAndTheSignerCertificate) {
  const ContentCase& c = GetParam();
  useStore({{L"signer"}});
  auto control = newControl(c.text);
  const ConfirmRun run = confirmRow(control.get(), firstItem);
  ASSERT_EQ(run.dialog.result, 0u);
  EXPECT_FALSE(run.box.shown);

  const std::wstring issuerDN = getIssuerDN(control.get());
  const std::wstring certData = getCertData(control.get());
  EXPECT_EQ(base64FormProblem(issuerDN), "");
  EXPECT_EQ(base64FormProblem(certData), "");
  const Bytes signer = certificateBytes(L"signer");
  EXPECT_EQ(decodeBase64(certData), signer);

  const MessageContent message = readMessage(decodeBase64(issuerDN));
  ASSERT_TRUE(message.decoded);
  EXPECT_EQ(message.content, c.signedBytes);
  EXPECT_EQ(message.hashOid, korvel::kSha256Oid);
  EXPECT_EQ(message.signerCount, 1u);
  EXPECT_EQ(message.certificateCount, 1u);
  EXPECT_EQ(message.certificate, signer);
  EXPECT_FALSE(message.hasSignedAttributes);
  saveForOpenSsl(std::wstring(c.name, c.name + strlen(c.name)), control.get(), c.text, "sha256", L"signer");
}

INSTANTIATE_TEST_SUITE_P(
    Table, SignedContent,
    testing::Values(ContentCase{"abc", L"abc", {0x61, 0x00, 0x62, 0x00, 0x63, 0x00}},
                    ContentCase{"empty", L"", {}},
                    ContentCase{"japanese", L"日本語", {0xE5, 0x65, 0x2C, 0x67, 0x9E, 0x8A}},
                    ContentCase{"surrogate-pair", L"\U00020BB7x", {0x42, 0xD8, 0xB7, 0xDF, 0x78, 0x00}}),
    [](const testing::TestParamInfo<ContentCase>& info) {
      std::string name = info.param.name;
      for (char& ch : name) if (ch == '-') ch = '_';
      return name;
    });

}  // namespace

namespace {

// The platform's own base64 conversion under Wine breaks the last line for
// some lengths. Messages of every length modulo 48 (the bytes of one line),
// from two signers whose messages differ in parity, must all come out in the
// output form and decode to the signed text.
TEST(SignedOutputForm, HoldsForEveryMessageLengthModulo48) {
  std::vector<bool> residues(48, false);
  for (const wchar_t* signer : {L"signer", L"twin-a"}) {
    useStore({{signer}});
    for (size_t length = 1; length <= 24; ++length) {
      SCOPED_TRACE(testing::Message() << testing_support::utf8(signer) << ", " << length << " characters");
      const std::wstring text(length, L'k');
      auto control = newControl(text);
      ASSERT_EQ(confirmRow(control.get(), firstItem).dialog.result, 0u);
      const std::wstring issuerDN = getIssuerDN(control.get());
      EXPECT_EQ(base64FormProblem(issuerDN), "");
      const Bytes message = decodeBase64(issuerDN);
      EXPECT_EQ(readMessage(message).content, utf16Bytes(text));
      residues[message.size() % 48] = true;
    }
  }
  EXPECT_EQ(std::count(residues.begin(), residues.end(), true), 48);
}

}  // namespace
