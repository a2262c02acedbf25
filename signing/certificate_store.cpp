#include "signing/certificate_store.h"

#include <vector>

namespace korvel {
namespace {

std::wstring nameString(PCCERT_CONTEXT certificate, DWORD type, DWORD flags) {
  std::vector<wchar_t> buffer(kCertificateTextBufferLength, L'\0');
  CertGetNameStringW(certificate, type, flags, nullptr, buffer.data(), kCertificateTextBufferLength);
  buffer.back() = L'\0';
  return std::wstring(buffer.data());
}

}  // namespace

framework::UniqueCertStore openPersonalStore() {
  return framework::UniqueCertStore(CertOpenSystemStoreW(0, L"MY"));
}

bool nextCertificate(HCERTSTORE store, framework::UniqueCertContext& current) {
  // The enumeration releases the previous context itself.
  current.reset(CertEnumCertificatesInStore(store, current.release()));
  return static_cast<bool>(current);
}

std::wstring subjectName(PCCERT_CONTEXT certificate) {
  return nameString(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0);
}

std::wstring friendlyName(PCCERT_CONTEXT certificate) {
  return nameString(certificate, CERT_NAME_FRIENDLY_DISPLAY_TYPE, 0);
}

std::wstring issuerName(PCCERT_CONTEXT certificate) {
  return nameString(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG);
}

std::wstring serialText(PCCERT_CONTEXT certificate) {
  const CRYPT_INTEGER_BLOB& serial = certificate->pCertInfo->SerialNumber;
  std::vector<wchar_t> buffer(kCertificateTextBufferLength, L'\0');
  DWORD length = kCertificateTextBufferLength;
  if (!CryptBinaryToStringW(serial.pbData, serial.cbData, CRYPT_STRING_HEX, buffer.data(), &length))
    return std::wstring();
  buffer.back() = L'\0';
  return std::wstring(buffer.data());
}

}  // namespace korvel
