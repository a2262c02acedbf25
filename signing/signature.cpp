#include "signing/signature.h"

#include <objbase.h>

namespace korvel {

bool isLegacyPlatform() {
  static_assert(sizeof(OSVERSIONINFOEXW) == 284, "OSVERSIONINFOEXW");
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  DWORDLONG conditions = 0;
  conditions = VerSetConditionMask(conditions, VER_MAJORVERSION, VER_EQUAL);
  conditions = VerSetConditionMask(conditions, VER_MINORVERSION, VER_EQUAL);
  static const DWORD kLegacyMinors[] = {0, 1, 2};
  for (DWORD minor : kLegacyMinors) {
    version.dwMajorVersion = 5;
    version.dwMinorVersion = minor;
    if (VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION, conditions)) return true;
  }
  return false;
}

const char* signingHashOid() { return isLegacyPlatform() ? kSha1Oid : kSha256Oid; }

CRYPT_SIGN_MESSAGE_PARA makeSignMessagePara(PCCERT_CONTEXT& signerSlot, const char* hashOid) {
  CRYPT_SIGN_MESSAGE_PARA para{};
  para.cbSize = kSignMessageParaSize;
  para.dwMsgEncodingType = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  para.pSigningCert = signerSlot;
  para.HashAlgorithm.pszObjId = const_cast<char*>(hashOid);
  para.cMsgCert = 1;
  para.rgpMsgCert = &signerSlot;
  return para;
}

bool signText(PCCERT_CONTEXT signer, const wchar_t* text, size_t length, framework::UniqueTaskMemory& message,
              DWORD& messageSize) {
  message.reset();
  messageSize = 0;
  if (length > MAXDWORD / sizeof(wchar_t)) return false;

  PCCERT_CONTEXT signerSlot = signer;
  CRYPT_SIGN_MESSAGE_PARA para = makeSignMessagePara(signerSlot, signingHashOid());
  // An empty text still needs a valid data pointer.
  static const wchar_t kNothing[1] = {};
  const BYTE* items[] = {reinterpret_cast<const BYTE*>(length != 0 ? text : kNothing)};
  DWORD itemSizes[] = {static_cast<DWORD>(length * sizeof(wchar_t))};

  // The size query's answer is all that matters here; a failed query leaves
  // 0, and the signing call below then fails too.
  DWORD size = 0;
  CryptSignMessage(&para, FALSE, 1, items, itemSizes, nullptr, &size);
  if (size == 0) return false;
  framework::UniqueTaskMemory buffer(CoTaskMemRealloc(nullptr, size));
  if (!buffer) return false;
  if (!CryptSignMessage(&para, FALSE, 1, items, itemSizes, static_cast<BYTE*>(buffer.get()), &size)) return false;

  message = std::move(buffer);
  messageSize = size;
  return true;
}

}  // namespace korvel
