#include "tests/support/cert_store_setup.h"

#include <cstdio>

#include "framework/handles.h"
#include "tests/support/crypt_handles.h"

namespace testing_support {
namespace {

HRESULT lastError() { return HRESULT_FROM_WIN32(GetLastError()); }

HRESULT setFriendlyName(PCCERT_CONTEXT certificate, const std::wstring* friendlyName) {
  if (friendlyName == nullptr) return S_OK;
  CRYPT_DATA_BLOB blob{};
  blob.cbData = static_cast<DWORD>((friendlyName->size() + 1) * sizeof(wchar_t));
  blob.pbData = reinterpret_cast<BYTE*>(const_cast<wchar_t*>(friendlyName->c_str()));
  return CertSetCertificateContextProperty(certificate, CERT_FRIENDLY_NAME_PROP_ID, 0, &blob) ? S_OK : lastError();
}

HRESULT addToPersonalStore(PCCERT_CONTEXT certificate) {
  framework::UniqueCertStore store(CertOpenSystemStoreW(0, L"MY"));
  if (!store) return lastError();
  if (!CertAddCertificateContextToStore(store.get(), certificate, CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
    return lastError();
  CertControlStore(store.get(), CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT, nullptr);
  return S_OK;
}

std::wstring containerNameFor(PCCERT_CONTEXT certificate) {
  BYTE hash[20] = {};
  DWORD size = sizeof(hash);
  CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash, &size);
  std::wstring name = L"korvel-test-";
  for (DWORD i = 0; i < size; ++i) {
    wchar_t digits[3];
    swprintf(digits, 3, L"%02x", hash[i]);
    name += digits;
  }
  return name;
}

// Copies the key that the PFX import left in its shared container into a
// container of its own and points the certificate at it.
HRESULT moveKeyToOwnContainer(PCCERT_CONTEXT certificate) {
  HCRYPTPROV_OR_NCRYPT_KEY_HANDLE rawProvider = 0;
  DWORD keySpec = 0;
  BOOL mustFree = FALSE;
  if (!CryptAcquireCertificatePrivateKey(certificate, 0, nullptr, &rawProvider, &keySpec, &mustFree))
    return lastError();
  UniqueProvider imported(mustFree ? static_cast<HCRYPTPROV>(rawProvider) : 0);
  UniqueCryptKey importedKey;
  if (!CryptGetUserKey(static_cast<HCRYPTPROV>(rawProvider), AT_KEYEXCHANGE, importedKey.put()) &&
      !CryptGetUserKey(static_cast<HCRYPTPROV>(rawProvider), AT_SIGNATURE, importedKey.put()))
    return lastError();
  DWORD blobSize = 0;
  if (!CryptExportKey(importedKey.get(), 0, PRIVATEKEYBLOB, 0, nullptr, &blobSize)) return lastError();
  Bytes blob(blobSize);
  if (!CryptExportKey(importedKey.get(), 0, PRIVATEKEYBLOB, 0, blob.data(), &blobSize)) return lastError();
  // Stored for key exchange, which also signs.
  reinterpret_cast<BLOBHEADER*>(blob.data())->aiKeyAlg = CALG_RSA_KEYX;

  std::wstring container = containerNameFor(certificate);
  HCRYPTPROV stale = 0;
  CryptAcquireContextW(&stale, container.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_DELETEKEYSET);
  UniqueProvider own;
  if (!CryptAcquireContextW(own.put(), container.c_str(), MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES, CRYPT_NEWKEYSET))
    return lastError();
  UniqueCryptKey ownKey;
  if (!CryptImportKey(own.get(), blob.data(), blobSize, 0, 0, ownKey.put())) return lastError();

  CRYPT_KEY_PROV_INFO info{};
  info.pwszContainerName = const_cast<wchar_t*>(container.c_str());
  info.pwszProvName = const_cast<wchar_t*>(MS_ENH_RSA_AES_PROV_W);
  info.dwProvType = PROV_RSA_AES;
  info.dwKeySpec = AT_KEYEXCHANGE;
  if (!CertSetCertificateContextProperty(certificate, CERT_KEY_PROV_INFO_PROP_ID, 0, &info)) return lastError();
  return S_OK;
}

}  // namespace

Bytes readFileBytes(const std::wstring& path) {
  Bytes bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return bytes;
  unsigned char chunk[4096];
  size_t got;
  while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  fclose(file);
  return bytes;
}

HRESULT clearPersonalStore() {
  framework::UniqueCertStore store(CertOpenSystemStoreW(0, L"MY"));
  if (!store) return lastError();
  // Deleting releases the context, so always start again from the first one.
  while (PCCERT_CONTEXT first = CertEnumCertificatesInStore(store.get(), nullptr)) {
    if (!CertDeleteCertificateFromStore(first)) return lastError();
  }
  CertControlStore(store.get(), CERT_STORE_CTRL_COMMIT_FORCE_FLAG, CERT_STORE_CTRL_COMMIT, nullptr);
  return S_OK;
}

HRESULT addCertificate(const Bytes& der, const std::wstring* friendlyName) {
  framework::UniqueCertContext certificate(
      CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  if (!certificate) return lastError();
  HRESULT hr = setFriendlyName(certificate.get(), friendlyName);
  if (FAILED(hr)) return hr;
  return addToPersonalStore(certificate.get());
}

HRESULT addPfx(const Bytes& pfx, const std::wstring& password, const std::wstring* friendlyName) {
  CRYPT_DATA_BLOB blob{};
  blob.cbData = static_cast<DWORD>(pfx.size());
  blob.pbData = const_cast<BYTE*>(pfx.data());
  framework::UniqueCertStore imported(PFXImportCertStore(&blob, password.c_str(), CRYPT_EXPORTABLE | CRYPT_USER_KEYSET));
  if (!imported) return lastError();
  // The certificate with a key is the one to add; chain certificates are dropped.
  PCCERT_CONTEXT found = nullptr;
  framework::UniqueCertContext certificate;
  while ((found = CertEnumCertificatesInStore(imported.get(), found)) != nullptr) {
    DWORD size = 0;
    if (CertGetCertificateContextProperty(found, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) {
      certificate.reset(found);
      break;
    }
  }
  if (!certificate) return CRYPT_E_NOT_FOUND;
  HRESULT hr = moveKeyToOwnContainer(certificate.get());
  if (SUCCEEDED(hr)) hr = setFriendlyName(certificate.get(), friendlyName);
  if (SUCCEEDED(hr)) hr = addToPersonalStore(certificate.get());
  return hr;
}

std::wstring pathBesideProgram(const std::wstring& relative) {
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring path(program);
  path.resize(path.find_last_of(L'\\') + 1);
  return path + relative;
}

}  // namespace testing_support
