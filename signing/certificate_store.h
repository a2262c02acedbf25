#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "framework/handles.h"

// The platform's certificate services as the control uses them: the current
// user's personal store "MY", its certificates and their texts. List building
// and the confirm handler both go through these, so that both see the same
// names and serial texts.
namespace korvel {

// Work buffers for names and serial texts: 8191 characters and a null.
inline constexpr DWORD kCertificateTextBufferLength = 8192;

// The current user's personal store "MY"; empty when it cannot be opened.
framework::UniqueCertStore openPersonalStore();

// Moves `current` to the next certificate of `store` (the first one when
// `current` is empty). False, with `current` empty, at the end.
bool nextCertificate(HCERTSTORE store, framework::UniqueCertContext& current);

// The subject's simple display name (at most 8191 characters).
std::wstring subjectName(PCCERT_CONTEXT certificate);
// The friendly-name property when set, else the simple display name.
std::wstring friendlyName(PCCERT_CONTEXT certificate);
// The issuer's simple display name.
std::wstring issuerName(PCCERT_CONTEXT certificate);

// The serial number as CRYPT_STRING_HEX text of its bytes in stored order
// (least significant first). The one routine that makes serial texts: the
// same bytes always give the same text. Empty when the conversion fails.
std::wstring serialText(PCCERT_CONTEXT certificate);

}  // namespace korvel
