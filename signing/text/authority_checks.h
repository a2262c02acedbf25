#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvel {

inline constexpr size_t kKeyIdLength = 20;
inline constexpr size_t kKnownKeyIdCount = 6;

// Key identifiers of the authorities whose certificates are offered for
// renewal. Entries 1-3 come from the build settings KORVEL_AUTHORITY_KEY_ID_1..3;
// entries 4-6 are empty slots of zero bytes that still take part in matching.
extern const uint8_t knownAuthorityKeyIds[kKnownKeyIdCount][kKeyIdLength];

// The key identifiers that the build settings set (entries 1-3 of the table
// above, without the empty slots): the service's default list.
inline constexpr size_t kBuildKeyIdCount = 3;
extern const uint8_t buildAuthorityKeyIds[kBuildKeyIdCount][kKeyIdLength];

// A table of key identifiers to match against: `count` entries of 20 bytes.
struct KeyIdTable {
  const uint8_t (*entries)[kKeyIdLength];
  size_t count;
};
// knownAuthorityKeyIds, the control's table.
KeyIdTable controlKeyIdTable();

// The OIDs and the issuer name of the two rules.
inline constexpr char kAuthorityKeyIdOid[] = "2.5.29.35";
inline constexpr char kPrivateIssuerOid[] = "2.16.840.1.113733.1.6.9";
inline constexpr wchar_t kPrivateIssuerName[] = L"ro-mendal Agency CA";
inline constexpr char kPrivateIssuerNameUtf8[] = "ro-mendal Agency CA";

// The bytes as upper-case hexadecimal, no separators; empty for null.
std::string bytesToHex(const uint8_t* bytes, size_t count);

// 1 when the identifier equals one whole entry of knownAuthorityKeyIds, else 0.
// Only identifiers of exactly 20 bytes can match: a shorter one is not taken
// as a prefix of an entry and a longer one is never compared past an entry.
int matchesKnownKeyId(size_t length, const uint8_t* keyId);
// The same against any table.
int matchesKeyIdIn(const KeyIdTable& table, size_t length, const uint8_t* keyId);

// The DER value of an authority key identifier extension, read at fixed
// positions: byte 3 is the identifier's length L, bytes 4 .. 4+L-1 the
// identifier (30 xx 80 L id...). 1 when that identifier is a known one; a value
// too short to hold the identifier gives 0. Never reads past `size`.
int authorityKeyValueMatches(const uint8_t* value, size_t size);
// The same against any table.
int authorityKeyValueMatchesIn(const KeyIdTable& table, const uint8_t* value, size_t size);

// 1 when the first three bytes of the private-issuer extension value read as
// "0101FF" (DER boolean TRUE); shorter values give 0.
int privateIssuerValueMatches(const uint8_t* value, size_t size);

}  // namespace korvel
