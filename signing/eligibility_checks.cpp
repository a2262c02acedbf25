#include "signing/eligibility_checks.h"

#include <cstring>
#include <cwchar>

#include "signing/certificate_store.h"
#include "signing/text/authority_checks.h"

namespace korvel {
namespace {

// OIDs are ASCII dotted text, so comparing the narrow texts is the same as
// comparing them converted to UTF-16.
bool hasOid(const CERT_EXTENSION& extension, const char* oid) {
  return extension.pszObjId != nullptr && std::strcmp(extension.pszObjId, oid) == 0;
}

}  // namespace

int checkValueDoor(PCCERT_CONTEXT certificate) {
  OutputDebugStringW(L"[start checkValueDoor]\n");
  int result = 0;
  const CERT_INFO& info = *certificate->pCertInfo;
  for (DWORD i = 0; i < info.cExtension; ++i) {
    const CERT_EXTENSION& extension = info.rgExtension[i];
    if (!hasOid(extension, kAuthorityKeyIdOid)) continue;
    result = authorityKeyValueMatches(extension.Value.pbData, extension.Value.cbData);
    if (result == 1) break;
  }
  OutputDebugStringW(L"[end checkValueDoor]\n");
  return result;
}

int checkSymantecPrivate(PCCERT_CONTEXT certificate) {
  OutputDebugStringW(L"[start checkSymantecPrivate]\n");
  int result = 0;
  wchar_t issuer[kIssuerNameBufferLength];
  issuerName(certificate, issuer);
  if (std::wcscmp(issuer, kPrivateIssuerName) == 0) {
    const CERT_INFO& info = *certificate->pCertInfo;
    for (DWORD i = 0; i < info.cExtension; ++i) {
      const CERT_EXTENSION& extension = info.rgExtension[i];
      if (!hasOid(extension, kPrivateIssuerOid)) continue;
      if (privateIssuerValueMatches(extension.Value.pbData, extension.Value.cbData) == 1) {
        result = 1;
        break;
      }
    }
  }
  OutputDebugStringW(L"[end checkSymantecPrivate]\n");
  return result;
}

}  // namespace korvel
