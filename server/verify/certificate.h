#pragma once
#include <openssl/x509.h>

#include <cstdint>
#include <string>

#include "server/verify/text/civil_time.h"
#include "signing/text/authority_checks.h"

namespace korvel::verify {

// The name as an RFC 4514 string: the RDNs last first, joined by ',', the
// values of a multi-valued RDN by '+'. The types of RFC 4514's table (CN, L,
// ST, O, OU, C, STREET, DC, UID) by name with their string values; any other
// type in dotted-decimal form with the value's DER as '#' and hex digits, as
// RFC 4514 writes them (also a listed type whose value is no string).
std::string rfc4514Name(const X509_NAME* name);

// The issuer's simple display name as the platform gives it to the control
// (its first common name, else organisational unit, organisation, e-mail
// address; else an rfc822 name of the issuer alternative name; else the first
// attribute), in UTF-8, up to its first NUL and at most 1023 characters.
std::string issuerSimpleDisplayName(const X509* certificate);

// The serial number as `openssl x509 -serial` prints it, without line breaks:
// two upper-case hex digits per byte, most significant first ("-" before a
// negative one).
std::string serialHex(const X509* certificate);

// NotAfter as calendar time and seconds; false when it cannot be read.
bool notAfterTime(const X509* certificate, CivilTime* time, int64_t* seconds);

// The control's two rules: an authority key identifier of the table, or the
// private authority's name with its extension.
bool passesAuthorityKeyRule(const X509* certificate, const KeyIdTable& table);
bool passesPrivateIssuerRule(const X509* certificate);

}  // namespace korvel::verify
