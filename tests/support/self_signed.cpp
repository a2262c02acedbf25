#include "tests/support/self_signed.h"

#include "framework/handles.h"
#include "tests/support/crypt_handles.h"

namespace testing_support {
namespace {

// CN=commonName as an encoded name, the value as a UTF-8 string: no length
// limit is applied, so names longer than any display buffer can be made.
std::vector<BYTE> encodedName(const std::wstring& commonName) {
  CERT_RDN_ATTR attribute{};
  attribute.pszObjId = const_cast<char*>(szOID_COMMON_NAME);
  attribute.dwValueType = CERT_RDN_UTF8_STRING;
  attribute.Value.cbData = static_cast<DWORD>(commonName.size() * sizeof(wchar_t));
  attribute.Value.pbData = reinterpret_cast<BYTE*>(const_cast<wchar_t*>(commonName.data()));
  CERT_RDN rdn{1, &attribute};
  CERT_NAME_INFO name{1, &rdn};
  DWORD size = 0;
  if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_UNICODE_NAME, &name, 0, nullptr, nullptr, &size)) return {};
  std::vector<BYTE> encoded(size);
  if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_UNICODE_NAME, &name, 0, nullptr, encoded.data(), &size))
    return {};
  encoded.resize(size);
  return encoded;
}

}  // namespace

std::vector<unsigned char> selfSignedCertificate(const std::wstring& commonName,
                                                 const std::vector<Extension>& extensions,
                                                 const SYSTEMTIME& from, const SYSTEMTIME& to) {
  std::vector<BYTE> name = encodedName(commonName);
  if (name.empty()) return {};
  CERT_NAME_BLOB nameBlob{static_cast<DWORD>(name.size()), name.data()};

  // A throw-away key that no key container keeps.
  UniqueProvider provider;
  if (!CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return {};
  UniqueCryptKey key;
  if (!CryptGenKey(provider.get(), AT_SIGNATURE, 1024u << 16, key.put())) return {};

  std::vector<CERT_EXTENSION> list;
  for (const auto& extension : extensions) {
    CERT_EXTENSION entry{};
    entry.pszObjId = const_cast<char*>(extension.oid);
    entry.Value.cbData = static_cast<DWORD>(extension.value.size());
    entry.Value.pbData = const_cast<BYTE*>(extension.value.data());
    list.push_back(entry);
  }
  CERT_EXTENSIONS all{static_cast<DWORD>(list.size()), list.data()};
  SYSTEMTIME start = from;
  SYSTEMTIME end = to;
  framework::UniqueCertContext certificate(
      CertCreateSelfSignCertificate(provider.get(), &nameBlob, 0, nullptr, nullptr, &start, &end, &all));
  if (!certificate) return {};
  const PCCERT_CONTEXT context = certificate.get();
  return std::vector<unsigned char>(context->pbCertEncoded, context->pbCertEncoded + context->cbCertEncoded);
}

}  // namespace testing_support
