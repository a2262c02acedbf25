#include "signing/text/authority_checks.h"

#include <cstring>

namespace korvel {

std::string bytesToHex(const uint8_t* bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  if (bytes == nullptr) return text;
  text.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

KeyIdTable controlKeyIdTable() { return KeyIdTable{knownAuthorityKeyIds, kKnownKeyIdCount}; }

int matchesKeyIdIn(const KeyIdTable& table, size_t length, const uint8_t* keyId) {
  if (length != kKeyIdLength || keyId == nullptr) return 0;
  for (size_t i = 0; i < table.count; ++i) {
    if (std::memcmp(table.entries[i], keyId, kKeyIdLength) == 0) return 1;
  }
  return 0;
}

int matchesKnownKeyId(size_t length, const uint8_t* keyId) {
  return matchesKeyIdIn(controlKeyIdTable(), length, keyId);
}

int authorityKeyValueMatches(const uint8_t* value, size_t size) {
  return authorityKeyValueMatchesIn(controlKeyIdTable(), value, size);
}

int authorityKeyValueMatchesIn(const KeyIdTable& table, const uint8_t* value, size_t size) {
  constexpr size_t kLengthPosition = 3;
  constexpr size_t kIdPosition = 4;
  if (value == nullptr || size <= kLengthPosition) return 0;
  const size_t length = value[kLengthPosition];
  if (size - kIdPosition < length) return 0;
  return matchesKeyIdIn(table, length, value + kIdPosition);
}

int privateIssuerValueMatches(const uint8_t* value, size_t size) {
  constexpr size_t kMarkerLength = 3;
  if (value == nullptr || size < kMarkerLength) return 0;
  return bytesToHex(value, kMarkerLength) == "0101FF" ? 1 : 0;
}

}  // namespace korvel
