#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

// One rule of a Public Suffix List. `domain` is written as the list writes
// it: lower case, internationalized labels in UTF-8.
struct PublicSuffixRule {
  enum class Kind { plain, wildcard, exception };
  Kind kind = Kind::plain;
  std::string domain;  // "co.jp"; "ck" of "*.ck"; "www.ck" of "!www.ck"
};

// The rules in the list's own order, which decides which rule a message names.
using PublicSuffixRules = std::vector<PublicSuffixRule>;

// Reads a list in the Public Suffix List's format: one rule a line, read up
// to its first white space; lines starting with "//" are comments.
PublicSuffixRules readPublicSuffixList(std::string_view text);

// The rule as the list writes it: "co.jp", "*.ck", "!www.ck".
std::string ruleText(const PublicSuffixRule& rule);

// The rule that makes `domain` a public suffix ("co.jp", or "*.ck" for
// "a.ck"), or nullopt: no rule does, or an exception rule takes `domain` or
// a domain above it out. The list's implicit rule "*" is not reported.
std::optional<PublicSuffixRule> publicSuffixRuleOf(std::string_view domain, const PublicSuffixRules& rules);

// The first plain or wildcard rule that makes some domain strictly below
// `domain` a public suffix ("*.kawasaki.jp" for "kawasaki.jp"), or nullopt.
std::optional<PublicSuffixRule> publicSuffixRuleBelow(std::string_view domain, const PublicSuffixRules& rules);

// `domain` with each "xn--" label decoded from punycode to UTF-8, as the list
// writes internationalized labels; nullopt when one does not decode. The
// label that failed is stored in `badLabel` when given.
std::optional<std::string> unicodeDomainOf(std::string_view domain, std::string_view* badLabel = nullptr);

}  // namespace korvel
