#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <memory>

#include "framework/handles.h"

// The platform's certificate services as the control uses them: the current
// user's personal store "MY", its certificates and their texts. List building
// and the confirm handler both go through these, so that both see the same
// names and serial texts. Nothing here throws: texts go into buffers that the
// caller owns.
namespace korvel {

// Work buffers for names and serial texts: 8191 characters and a null.
inline constexpr DWORD kCertificateTextBufferLength = 8192;
// The buffer the private-issuer check reads the issuer's name into.
inline constexpr DWORD kIssuerNameBufferLength = 1024;

// A work buffer of kCertificateTextBufferLength characters.
using TextBuffer = std::unique_ptr<wchar_t[]>;
// A new work buffer holding the empty text; null when memory runs out.
TextBuffer newTextBuffer();

// The current user's personal store "MY"; empty when it cannot be opened.
framework::UniqueCertStore openPersonalStore();

// Moves `current` to the next certificate of `store` (the first one when
// `current` is empty). False, with `current` empty, at the end.
bool nextCertificate(HCERTSTORE store, framework::UniqueCertContext& current);

// Each writes a null-terminated text into `text`, a work buffer of
// kCertificateTextBufferLength characters:
// the subject's simple display name (cut to 8191 characters),
void subjectName(PCCERT_CONTEXT certificate, wchar_t* text);
// the friendly-name property when set, else the simple display name,
void friendlyName(PCCERT_CONTEXT certificate, wchar_t* text);
// the serial number as CRYPT_STRING_HEX text of its bytes in stored order
// (least significant first); empty when the conversion fails. The one routine
// that makes serial texts: the same bytes always give the same text.
void serialText(PCCERT_CONTEXT certificate, wchar_t* text);

// The issuer's simple display name, cut to 1023 characters.
void issuerName(PCCERT_CONTEXT certificate, wchar_t (&text)[kIssuerNameBufferLength]);

}  // namespace korvel
