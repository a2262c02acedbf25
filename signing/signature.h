#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>

#include "framework/handles.h"

namespace korvel {

inline constexpr char kSha1Oid[] = "1.3.14.3.2.26";
inline constexpr char kSha256Oid[] = "2.16.840.1.101.3.4.2.1";

// The size of CRYPT_SIGN_MESSAGE_PARA without the CMS fields, the only form
// the platform's signing service takes from this code.
inline constexpr DWORD kSignMessageParaSize =
    static_cast<DWORD>(offsetof(CRYPT_SIGN_MESSAGE_PARA, dwInnerContentType) + sizeof(DWORD));
#if defined(_WIN64)
static_assert(kSignMessageParaSize == 120, "CRYPT_SIGN_MESSAGE_PARA without CMS fields");
#else
static_assert(kSignMessageParaSize == 68, "CRYPT_SIGN_MESSAGE_PARA without CMS fields");
#endif

// True when the system is exactly version 5.0, 5.1 or 5.2: those sign with
// SHA-1, every other system with SHA-256.
bool isLegacyPlatform();

// The digest for this system: kSha1Oid when legacy, else kSha256Oid.
const char* signingHashOid();

// Signing parameters for `signer`, which also travels in the message as its
// only certificate. `signerSlot` must outlive the parameters.
CRYPT_SIGN_MESSAGE_PARA makeSignMessagePara(PCCERT_CONTEXT& signerSlot, const char* hashOid);

// Signs `text` (its UTF-16LE code units, no terminator) with `signer` into a
// PKCS #7 signed message that embeds the text. The message is task memory.
// Gives false when the message cannot be made, memory included.
bool signText(PCCERT_CONTEXT signer, const wchar_t* text, size_t length, framework::UniqueTaskMemory& message,
              DWORD& messageSize);

}  // namespace korvel
