#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "signing/text/authority_checks.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes entry(size_t index) {
  return Bytes(korvel::knownAuthorityKeyIds[index], korvel::knownAuthorityKeyIds[index] + korvel::kKeyIdLength);
}

// 30 16 80 14 followed by the identifier, as OpenSSL writes keyid-only values.
Bytes authorityKeyValue(const Bytes& keyId) {
  Bytes value{0x30, static_cast<uint8_t>(keyId.size() + 2), 0x80, static_cast<uint8_t>(keyId.size())};
  value.insert(value.end(), keyId.begin(), keyId.end());
  return value;
}

TEST(BytesToHex, UpperCaseWithoutSeparators) {
  const uint8_t bytes[] = {0x01, 0x01, 0xFF, 0x0A, 0xB0};
  EXPECT_EQ(korvel::bytesToHex(bytes, 3), "0101FF");
  EXPECT_EQ(korvel::bytesToHex(bytes, 5), "0101FF0AB0");
  EXPECT_EQ(korvel::bytesToHex(bytes, 0), "");
  EXPECT_EQ(korvel::bytesToHex(nullptr, 4), "");
}

TEST(KnownKeyIds, BuildSettingsFillFirstThreeAndLeaveRestZero) {
  for (size_t i = 0; i < 3; ++i) EXPECT_NE(entry(i), Bytes(20, 0)) << "entry " << i + 1;
  for (size_t i = 3; i < 6; ++i) EXPECT_EQ(entry(i), Bytes(20, 0)) << "entry " << i + 1;
  // The defaults are the project's test authorities.
  EXPECT_EQ(korvel::bytesToHex(entry(0).data(), 20), "DE299C8CDDF1D403AAAB489B29FDD436963152A2");
}

struct KeyValueCase {
  const char* what;
  Bytes value;
  int expected;
};

Bytes withLastByteChanged(Bytes id) {
  id.back() ^= 0x01;
  return id;
}

Bytes truncated(Bytes value, size_t size) {
  value.resize(size);
  return value;
}

std::vector<KeyValueCase> keyValueCases() {
  return {
      {"entry 1", authorityKeyValue(entry(0)), 1},
      {"entry 2", authorityKeyValue(entry(1)), 1},
      {"entry 3", authorityKeyValue(entry(2)), 1},
      {"entry 1, last byte differs", authorityKeyValue(withLastByteChanged(entry(0))), 0},
      {"entry 3, last byte differs", authorityKeyValue(withLastByteChanged(entry(2))), 0},
      {"twenty zero bytes (entry 4)", authorityKeyValue(Bytes(20, 0)), 1},
      {"prefix of entry 1 (19 bytes)", authorityKeyValue(truncated(entry(0), 19)), 0},
      {"empty identifier", authorityKeyValue({}), 0},
      {"entry 1 plus one byte (21 bytes)", [] { Bytes id = entry(0); id.push_back(0); return authorityKeyValue(id); }(), 0},
      {"21 zero bytes", authorityKeyValue(Bytes(21, 0)), 0},
      {"identifier cut short of its length", truncated(authorityKeyValue(entry(0)), 23), 0},
      {"only the header", truncated(authorityKeyValue(entry(0)), 4), 0},
      {"three bytes", Bytes{0x30, 0x16, 0x80}, 0},
      {"empty value", Bytes{}, 0},
      {"length byte 255 in a short value", Bytes{0x30, 0x03, 0x80, 0xFF, 0x00}, 0},
      // Tags and outer length are not examined: only the fixed positions count.
      {"other tags, same positions", [] { Bytes v = authorityKeyValue(entry(1)); v[0] = 0x04; v[1] = 0x00; v[2] = 0x81; return v; }(), 1},
      {"identifier followed by issuer fields", [] { Bytes v = authorityKeyValue(entry(0)); v.insert(v.end(), {0xA1, 0x02, 0x05, 0x00}); return v; }(), 1},
  };
}

class AuthorityKeyValue : public testing::TestWithParam<KeyValueCase> {};

TEST_P(AuthorityKeyValue, MatchesOnlyWholeKnownIdentifiers) {
  const auto& c = GetParam();
  // An exactly sized heap copy lets the sanitizer catch any read past the end.
  auto* copy = new uint8_t[c.value.size() + 1];
  std::copy(c.value.begin(), c.value.end(), copy);
  EXPECT_EQ(korvel::authorityKeyValueMatches(c.value.empty() ? nullptr : copy, c.value.size()), c.expected) << c.what;
  EXPECT_EQ(korvel::authorityKeyValueMatches(copy, c.value.size()), c.expected) << c.what;
  delete[] copy;
}

INSTANTIATE_TEST_SUITE_P(Table, AuthorityKeyValue, testing::ValuesIn(keyValueCases()));

TEST(MatchesKnownKeyId, OtherLengthsNeverMatch) {
  const Bytes zeros(64, 0);
  for (size_t length = 0; length <= 64; ++length)
    EXPECT_EQ(korvel::matchesKnownKeyId(length, zeros.data()), length == 20 ? 1 : 0) << length;
  EXPECT_EQ(korvel::matchesKnownKeyId(20, nullptr), 0);
}

struct PrivateValueCase {
  Bytes value;
  int expected;
};

class PrivateIssuerValue : public testing::TestWithParam<PrivateValueCase> {};

TEST_P(PrivateIssuerValue, FirstThreeBytesMustBeBooleanTrue) {
  const auto& c = GetParam();
  auto* copy = new uint8_t[c.value.size() + 1];
  std::copy(c.value.begin(), c.value.end(), copy);
  EXPECT_EQ(korvel::privateIssuerValueMatches(copy, c.value.size()), c.expected);
  delete[] copy;
}

INSTANTIATE_TEST_SUITE_P(Table, PrivateIssuerValue,
                         testing::Values(PrivateValueCase{{0x01, 0x01, 0xFF}, 1},
                                         PrivateValueCase{{0x01, 0x01, 0xFF, 0x00, 0x12}, 1},
                                         PrivateValueCase{{0x01, 0x01, 0x00}, 0},
                                         PrivateValueCase{{0x01, 0x01, 0x01}, 0},
                                         PrivateValueCase{{0x01, 0x01}, 0},
                                         PrivateValueCase{{0x01}, 0},
                                         PrivateValueCase{{}, 0},
                                         PrivateValueCase{{0x04, 0x01, 0xFF}, 0}));

}  // namespace

namespace {

// The service's table holds only the identifiers that are set: the build's
// three, no zero slots; a given table replaces them.
TEST(KeyIdTable, TheBuildListHasNoEmptySlots) {
  const korvel::KeyIdTable build{korvel::buildAuthorityKeyIds, korvel::kBuildKeyIdCount};
  for (size_t i = 0; i < korvel::kBuildKeyIdCount; ++i) {
    EXPECT_EQ(Bytes(build.entries[i], build.entries[i] + korvel::kKeyIdLength), entry(i));
    EXPECT_EQ(korvel::authorityKeyValueMatchesIn(build, authorityKeyValue(entry(i)).data(), 24), 1);
  }
  const Bytes zeros(20, 0);
  EXPECT_EQ(korvel::matchesKeyIdIn(build, 20, zeros.data()), 0);
  EXPECT_EQ(korvel::matchesKnownKeyId(20, zeros.data()), 1);  // the control's empty slot 4

  const uint8_t given[1][korvel::kKeyIdLength] = {{0xAA, 0xBB}};
  const korvel::KeyIdTable table{given, 1};
  Bytes id(given[0], given[0] + korvel::kKeyIdLength);
  EXPECT_EQ(korvel::authorityKeyValueMatchesIn(table, authorityKeyValue(id).data(), 24), 1);
  EXPECT_EQ(korvel::authorityKeyValueMatchesIn(table, authorityKeyValue(entry(0)).data(), 24), 0);
  EXPECT_EQ(korvel::matchesKeyIdIn(korvel::KeyIdTable{given, 0}, 20, id.data()), 0);
}

}  // namespace
