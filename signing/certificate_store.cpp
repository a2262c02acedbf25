#include "signing/certificate_store.h"

#include <new>

namespace korvel {
namespace {

void nameText(PCCERT_CONTEXT certificate, DWORD type, DWORD flags, wchar_t* text, DWORD length) {
  text[0] = L'\0';
  CertGetNameStringW(certificate, type, flags, nullptr, text, length);
  text[length - 1] = L'\0';
}

}  // namespace

TextBuffer newTextBuffer() {
  TextBuffer buffer(new (std::nothrow) wchar_t[kCertificateTextBufferLength]);
  if (buffer) buffer[0] = L'\0';
  return buffer;
}

framework::UniqueCertStore openPersonalStore() {
  return framework::UniqueCertStore(CertOpenSystemStoreW(0, L"MY"));
}

bool nextCertificate(HCERTSTORE store, framework::UniqueCertContext& current) {
  // The enumeration releases the previous context itself.
  current.reset(CertEnumCertificatesInStore(store, current.release()));
  return static_cast<bool>(current);
}

void subjectName(PCCERT_CONTEXT certificate, wchar_t* text) {
  nameText(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, text, kCertificateTextBufferLength);
}

void friendlyName(PCCERT_CONTEXT certificate, wchar_t* text) {
  nameText(certificate, CERT_NAME_FRIENDLY_DISPLAY_TYPE, 0, text, kCertificateTextBufferLength);
}

void issuerName(PCCERT_CONTEXT certificate, wchar_t (&text)[kIssuerNameBufferLength]) {
  nameText(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, CERT_NAME_ISSUER_FLAG, text, kIssuerNameBufferLength);
}

void serialText(PCCERT_CONTEXT certificate, wchar_t* text) {
  const CRYPT_INTEGER_BLOB& serial = certificate->pCertInfo->SerialNumber;
  text[0] = L'\0';
  DWORD length = kCertificateTextBufferLength;
  if (!CryptBinaryToStringW(serial.pbData, serial.cbData, CRYPT_STRING_HEX, text, &length)) text[0] = L'\0';
  text[kCertificateTextBufferLength - 1] = L'\0';
}

}  // namespace korvel
