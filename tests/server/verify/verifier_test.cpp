// The verifier library: the command's table judged through the library from
// many threads at once, the Renewal road, and the pure pieces it is built of.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "server/verify/korvel_verify.h"
#include "server/verify/text/civil_time.h"
#include "server/verify/text/rfc4514.h"
#include "server/verify/text/utf16.h"

namespace {

using korvel::verify::Renewal;
using korvel::verify::Settings;
using korvel::verify::Verdict;
using korvel::verify::Verifier;

const std::string kCases = KORVEL_VERIFY_CASES;

struct TableCase {
  std::string name;
  std::string input;
  std::string expected;
};

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The cases of cases.tsv judged with the trust files alone, refused or approved.
std::vector<TableCase> plainCases() {
  std::vector<TableCase> cases;
  std::istringstream table(fileText(kCases + "/cases.tsv"));
  std::string line;
  while (std::getline(table, line)) {
    std::vector<std::string> fields;
    std::istringstream columns(line);
    for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
    if (fields.size() != 5 || fields[1] != "--trust trust/valuedoor.pem --trust trust/ro-mendal.pem") continue;
    if (fields[3] == "2") continue;
    cases.push_back({fields[0], fileText(kCases + "/" + fields[2]), fields[4]});
  }
  return cases;
}

std::unique_ptr<Verifier> plainVerifier() {
  Settings settings;
  settings.trustFiles = {kCases + "/trust/valuedoor.pem", kCases + "/trust/ro-mendal.pem"};
  std::string error;
  std::unique_ptr<Verifier> verifier = Verifier::create(settings, error);
  EXPECT_TRUE(verifier) << error;
  return verifier;
}

TEST(Verifier, JudgesTheTableFromManyThreadsAtOnce) {
  const std::vector<TableCase> cases = plainCases();
  ASSERT_GT(cases.size(), 30u);
  std::unique_ptr<Verifier> verifier = plainVerifier();
  ASSERT_TRUE(verifier);
  constexpr int kThreads = 8;
  constexpr int kRounds = 5;
  std::vector<std::vector<std::string>> wrong(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        // Each thread walks the table from another place, so that different
        // cases run side by side.
        for (size_t k = 0; k < cases.size(); ++k) {
          const TableCase& c = cases[(k + t * 7) % cases.size()];
          const std::string actual = korvel::verify::verdictJson(verifier->verifyJson(c.input));
          if (actual != c.expected) wrong[t].push_back(c.name + ": " + actual);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& list : wrong) {
    for (const std::string& what : list) ADD_FAILURE() << what;
  }
}

// The fields of one of the table's inputs.
Renewal renewalOf(const std::string& json) {
  auto field = [&](const std::string& name) {
    const size_t start = json.find("\"" + name + "\": \"") + name.size() + 5;
    std::string value = json.substr(start, json.find('"', start) - start);
    for (size_t at; (at = value.find("\\r\\n")) != std::string::npos;) value.replace(at, 4, "\r\n");
    return value;
  };
  return Renewal{field("issuerDN"), field("certData"), field("data"), field("serverDate")};
}

TEST(Verifier, JudgesARenewalGivenAsFields) {
  std::unique_ptr<Verifier> verifier = plainVerifier();
  ASSERT_TRUE(verifier);
  Renewal renewal = renewalOf(fileText(kCases + "/inputs/ok-noattr.json"));
  const Verdict verdict = verifier->verify(renewal);
  ASSERT_TRUE(verdict.ok) << korvel::verify::reasonWord(verdict.reason);
  EXPECT_EQ(verdict.approval.subject, "O=KorvelTool Test Only,CN=Test good");
  EXPECT_EQ(verdict.approval.issuer, "CN=Korvel Test ValueDoor CA 1,O=KorvelTool Test Only");
  EXPECT_EQ(verdict.approval.serial, "8A01020304050607");
  EXPECT_EQ(verdict.approval.notAfter, "2026-03-11T00:00:00Z");

  renewal.data += "x";
  EXPECT_EQ(verifier->verify(renewal).reason, korvel::verify::Reason::kContentMismatch);
  renewal.data.assign(korvel::verify::kLargestInputBytes, 'x');
  EXPECT_EQ(verifier->verify(renewal).reason, korvel::verify::Reason::kTooLarge);
}

TEST(Verifier, RefusesKeyIdentifiersThatAreNot40HexDigits) {
  for (const std::string id : {"", "DE299C8CDDF1D403AAAB489B29FDD436963152A", "DE299C8CDDF1D403AAAB489B29FDD436963152A2FF",
                               "DE299C8CDDF1D403AAAB489B29FDD436963152AG", " E299C8CDDF1D403AAAB489B29FDD436963152A2"}) {
    Settings settings;
    settings.trustFiles = {kCases + "/trust/valuedoor.pem"};
    settings.knownKeyIds = std::vector<std::string>{id};
    std::string error;
    EXPECT_FALSE(Verifier::create(settings, error)) << id;
    EXPECT_NE(error.find("--known-key-id"), std::string::npos) << error;
  }
}

TEST(Verifier, AnEmptyKeyIdentifierListMatchesNothing) {
  Settings settings;
  settings.trustFiles = {kCases + "/trust/valuedoor.pem", kCases + "/trust/ro-mendal.pem"};
  settings.knownKeyIds = std::vector<std::string>{};
  std::string error;
  std::unique_ptr<Verifier> verifier = Verifier::create(settings, error);
  ASSERT_TRUE(verifier) << error;
  EXPECT_EQ(verifier->verifyJson(fileText(kCases + "/inputs/ok-noattr.json")).reason,
            korvel::verify::Reason::kNotEligible);
  // The private authority's rule does not depend on the list.
  EXPECT_TRUE(verifier->verifyJson(fileText(kCases + "/inputs/ok-private-authority.json")).ok);
}

TEST(VerdictJson, EscapesTheTextsAndSpellsEveryReason) {
  Verdict verdict;
  verdict.ok = true;
  verdict.approval = {"CN=a\\\"b\\\\c\x01 \xe5\xb1\xb1", "0A", "2026-03-11T00:00:00Z", "CN=x"};
  EXPECT_EQ(korvel::verify::verdictJson(verdict),
            "{\"ok\": true, \"subject\": \"CN=a\\\\\\\"b\\\\\\\\c\\u0001 \xe5\xb1\xb1\", \"serial\": \"0A\", "
            "\"notAfter\": \"2026-03-11T00:00:00Z\"}");
  const std::pair<korvel::verify::Reason, const char*> words[] = {
      {korvel::verify::Reason::kTooLarge, "too-large"},
      {korvel::verify::Reason::kMalformed, "malformed"},
      {korvel::verify::Reason::kWeakDigest, "weak-digest"},
      {korvel::verify::Reason::kContentMismatch, "content-mismatch"},
      {korvel::verify::Reason::kSignerMismatch, "signer-mismatch"},
      {korvel::verify::Reason::kBadSignature, "bad-signature"},
      {korvel::verify::Reason::kUntrusted, "untrusted"},
      {korvel::verify::Reason::kRevoked, "revoked"},
      {korvel::verify::Reason::kNotEligible, "not-eligible"},
      {korvel::verify::Reason::kOutsideWindow, "outside-window"},
  };
  for (const auto& [reason, word] : words) {
    Verdict refused;
    refused.reason = reason;
    EXPECT_EQ(korvel::verify::verdictJson(refused), std::string("{\"ok\": false, \"reason\": \"") + word + "\"}");
  }
}

struct Utf8Case {
  const char* what;
  std::string utf8;
  bool valid;
  std::u16string units;
};

TEST(Utf8ToUtf16, ConvertsStrictly) {
  const Utf8Case cases[] = {
      {"ASCII", "abc", true, u"abc"},
      {"empty", "", true, u""},
      {"NUL inside", std::string("a\0b", 3), true, std::u16string(u"a\0b", 3)},
      {"Japanese", "\xe6\x9b\xb4\xe6\x96\xb0", true, u"\u66f4\u65b0"},
      {"outside the BMP", "\xf0\x9f\x98\x80", true, u"\U0001F600"},
      {"largest", "\xf4\x8f\xbf\xbf", true, u"\U0010FFFF"},
      {"above U+10FFFF", "\xf4\x90\x80\x80", false, u""},
      {"overlong slash", "\xc0\xaf", false, u""},
      {"overlong three bytes", "\xe0\x80\xaf", false, u""},
      {"encoded surrogate", "\xed\xa0\x80", false, u""},
      {"lone continuation", "a\x80", false, u""},
      {"cut sequence", "\xe6\x9b", false, u""},
      {"five-byte lead", "\xf8\x88\x80\x80\x80", false, u""},
      {"FF byte", "\xff", false, u""},
  };
  for (const Utf8Case& c : cases) {
    std::u16string units = u"junk";
    EXPECT_EQ(korvel::verify::utf8ToUtf16(c.utf8, &units), c.valid) << c.what;
    EXPECT_EQ(units, c.units) << c.what;
  }
  EXPECT_EQ(korvel::verify::utf16LeBytes(u"A\u66f4"), (std::vector<uint8_t>{0x41, 0x00, 0xf4, 0x66}));
}

TEST(Rfc4514Value, EscapesWhatTheGrammarNeeds) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"a,b+c;d<e>f\"g\\h", "a\\,b\\+c\\;d\\<e\\>f\\\"g\\\\h"},
      {"#lead", "\\#lead"},
      {"mid#dle", "mid#dle"},
      {" both ", "\\ both\\ "},
      {" ", "\\ "},
      {std::string("nul\0x", 5), "nul\\00x"},
      {"tab\tdel\x7f", "tab\\09del\\7F"},
      {"=equals", "=equals"},
      {"\xe5\xb1\xb1\xe7\x94\xb0", "\xe5\xb1\xb1\xe7\x94\xb0"},
      {"", ""},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(korvel::verify::rfc4514Value(value), expected) << value;
  const uint8_t der[] = {0x04, 0x02, 0xAB, 0x01};
  EXPECT_EQ(korvel::verify::rfc4514HexValue(der, sizeof der), "#0402AB01");
}

TEST(CivilTime, CountsSecondsSince1970) {
  struct Case {
    korvel::verify::CivilTime time;
    int64_t seconds;
    const char* text;
  };
  const Case cases[] = {
      {{1970, 1, 1, 0, 0, 0}, 0, "1970-01-01T00:00:00Z"},
      {{2026, 3, 1, 0, 0, 0}, 1772323200, "2026-03-01T00:00:00Z"},
      {{2024, 2, 29, 23, 59, 59}, 1709251199, "2024-02-29T23:59:59Z"},
      {{1969, 12, 31, 23, 59, 59}, -1, "1969-12-31T23:59:59Z"},
      {{1950, 1, 1, 0, 0, 0}, -631152000, "1950-01-01T00:00:00Z"},
      {{2049, 12, 31, 23, 59, 59}, 2524607999, "2049-12-31T23:59:59Z"},
      {{9999, 12, 31, 23, 59, 59}, 253402300799, "9999-12-31T23:59:59Z"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(korvel::verify::secondsSinceEpoch(c.time), c.seconds) << c.text;
    EXPECT_EQ(korvel::verify::iso8601Utc(c.time), c.text);
  }
}

}  // namespace
