// The extension value readers: never read past the value (the input is
// an allocation of its exact size), answer 0 or 1 only, and answer 1
// exactly for a 20-byte known identifier at its place, or 01 01 FF.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "signing/text/authority_checks.h"

namespace {

int expectedKeyIdMatch(const uint8_t* id, size_t length) {
  if (length != korvel::kKeyIdLength) return 0;
  for (const auto& entry : korvel::knownAuthorityKeyIds) {
    if (std::memcmp(entry, id, korvel::kKeyIdLength) == 0) return 1;
  }
  return 0;
}

int expectedAuthorityMatch(const uint8_t* value, size_t size) {
  if (size < 4 || size - 4 < value[3]) return 0;
  return expectedKeyIdMatch(value + 4, value[3]);
}

int expectedPrivateIssuerMatch(const uint8_t* value, size_t size) {
  return size >= 3 && value[0] == 0x01 && value[1] == 0x01 && value[2] == 0xFF ? 1 : 0;
}

void check(const char* what, int answer, int expected) {
  if (answer == expected) return;
  std::fprintf(stderr, "%s answered %d, expected %d\n", what, answer, expected);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An empty value may come as a null pointer, as CERT_EXTENSION allows.
  const uint8_t* value = size == 0 ? nullptr : data;
  check("authority key identifier", korvel::authorityKeyValueMatches(value, size),
        expectedAuthorityMatch(value, size));
  check("private issuer", korvel::privateIssuerValueMatches(value, size), expectedPrivateIssuerMatch(value, size));
  // The identifier alone, its length taken from the input's size.
  check("key identifier", korvel::matchesKnownKeyId(size, value), expectedKeyIdMatch(value, size));
  return 0;
}
