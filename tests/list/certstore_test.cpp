#include <gtest/gtest.h>

#include "framework/handles.h"
#include "signing/eligibility_checks.h"
#include "tests/list/list_test_support.h"
#include "tests/support/cert_store_setup.h"
#include "tests/support/wide_text.h"

namespace {

// A certificate added with its PFX key signs with SHA-256 from "MY".
TEST(CertStoreTool, PfxCertificateSignsWithSha256) {
  ASSERT_EQ(testing_support::clearPersonalStore(), S_OK);
  const auto pfx = testing_support::readFileBytes(list_testing::certificatePath(L"signer.pfx"));
  ASSERT_FALSE(pfx.empty());
  ASSERT_EQ(testing_support::addPfx(pfx, L"test-only"), S_OK);
  framework::UniqueCertStore store(CertOpenSystemStoreW(0, L"MY"));
  framework::UniqueCertContext signer(CertEnumCertificatesInStore(store.get(), nullptr));
  ASSERT_TRUE(signer);
  CRYPT_SIGN_MESSAGE_PARA para{};
  para.cbSize = sizeof(para);
  para.dwMsgEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  para.pSigningCert = signer.get();
  para.HashAlgorithm.pszObjId = const_cast<char*>(szOID_NIST_sha256);
  PCCERT_CONTEXT included[] = {signer.get()};
  para.cMsgCert = 1;
  para.rgpMsgCert = included;
  const BYTE data[] = {'a', 0, 'b', 0};
  const BYTE* items[] = {data};
  DWORD sizes[] = {sizeof(data)};
  DWORD size = 0;
  CryptSignMessage(&para, FALSE, 1, items, sizes, nullptr, &size);
  std::vector<BYTE> message(size);
  ASSERT_TRUE(CryptSignMessage(&para, FALSE, 1, items, sizes, message.data(), &size))
      << std::hex << GetLastError();
  EXPECT_GT(size, 0u);

  // The imported key must really match the certificate: a key that the PFX
  // import stored wrongly still "signs", but the signature does not verify.
  CRYPT_VERIFY_MESSAGE_PARA verify{};
  verify.cbSize = sizeof(verify);
  verify.dwMsgAndCertEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  DWORD contentSize = 0;
  EXPECT_TRUE(CryptVerifyMessageSignature(&verify, 0, message.data(), size, nullptr, &contentSize, nullptr))
      << std::hex << GetLastError();
  EXPECT_EQ(contentSize, sizeof(data));
}

struct CheckCase {
  const wchar_t* file;
  int valueDoor;
  int symantecPrivate;
};

class EligibilityOnRealCertificates : public testing::TestWithParam<CheckCase> {};

TEST_P(EligibilityOnRealCertificates, GiveTheExpectedResults) {
  const auto der = testing_support::readFileBytes(list_testing::certificatePath(GetParam().file));
  ASSERT_FALSE(der.empty());
  framework::UniqueCertContext certificate(
      CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  ASSERT_TRUE(certificate);
  EXPECT_EQ(korvel::checkValueDoor(certificate.get()), GetParam().valueDoor) << testing_support::utf8(GetParam().file);
  EXPECT_EQ(korvel::checkSymantecPrivate(certificate.get()), GetParam().symantecPrivate)
      << testing_support::utf8(GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EligibilityOnRealCertificates,
    testing::Values(CheckCase{L"check-no-ext.der", 0, 0}, CheckCase{L"check-entry-1.der", 1, 0},
                    CheckCase{L"check-entry-2.der", 1, 0}, CheckCase{L"check-entry-3.der", 1, 0},
                    CheckCase{L"check-entry-1-last-byte.der", 0, 0}, CheckCase{L"check-zeros.der", 1, 0},
                    CheckCase{L"check-short-id.der", 0, 0}, CheckCase{L"check-header-only.der", 0, 0},
                    CheckCase{L"check-private.der", 0, 1}, CheckCase{L"check-private-false.der", 0, 0},
                    CheckCase{L"check-private-longer.der", 0, 1}, CheckCase{L"check-private-short.der", 0, 0},
                    CheckCase{L"check-private-other-issuer.der", 0, 0},
                    CheckCase{L"check-private-lowercase-issuer.der", 0, 0}));

}  // namespace
