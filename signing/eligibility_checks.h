#pragma once
#include <windows.h>
#include <wincrypt.h>

// The two rules that decide whether a certificate is offered for renewal.
// Each writes a start and an end line to the debugger output.
namespace korvel {

// 1 when an authority key identifier extension names a known authority.
int checkValueDoor(PCCERT_CONTEXT certificate);

// 1 when the issuer is "ro-mendal Agency CA" and the private-issuer extension
// value begins with DER TRUE (01 01 FF).
int checkSymantecPrivate(PCCERT_CONTEXT certificate);

}  // namespace korvel
