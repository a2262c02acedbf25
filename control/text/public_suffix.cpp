#include "control/text/public_suffix.h"

#include <cstdint>

namespace korvel {
namespace {

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool endsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// `domain` is `other` or a name below it.
bool isAtOrBelow(std::string_view domain, std::string_view other) {
  return domain == other ||
         (domain.size() > other.size() && endsWith(domain, other) && domain[domain.size() - other.size() - 1] == '.');
}

bool isStrictlyBelow(std::string_view domain, std::string_view other) {
  return domain != other && isAtOrBelow(domain, other);
}

std::string_view parentOf(std::string_view domain) {
  const size_t dot = domain.find('.');
  return dot == std::string_view::npos ? std::string_view() : domain.substr(dot + 1);
}

// Punycode (RFC 3492) with its parameters for IDNA. Every step is bounded by
// kLargest, so that no input overflows.
constexpr uint32_t kBase = 36;
constexpr uint32_t kTMin = 1;
constexpr uint32_t kTMax = 26;
constexpr uint32_t kSkew = 38;
constexpr uint32_t kDamp = 700;
constexpr uint32_t kLargest = 0x7FFFFFFF;
constexpr uint32_t kLargestCodePoint = 0x10FFFF;

uint32_t digitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0') + 26;
  if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a');
  if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A');
  return kBase;
}

uint32_t adaptBias(uint32_t delta, uint32_t points, bool first) {
  delta = first ? delta / kDamp : delta / 2;
  delta += delta / points;
  uint32_t k = 0;
  while (delta > ((kBase - kTMin) * kTMax) / 2) {
    delta /= kBase - kTMin;
    k += kBase;
  }
  return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
}

std::optional<std::u32string> decodePunycode(std::string_view input) {
  const size_t delimiter = input.rfind('-');
  const size_t basicEnd = delimiter == std::string_view::npos ? 0 : delimiter;
  std::u32string output;
  for (size_t at = 0; at < basicEnd; ++at) {
    if (static_cast<unsigned char>(input[at]) >= 0x80) return std::nullopt;
    output += static_cast<char32_t>(input[at]);
  }
  uint32_t n = 0x80;
  uint32_t i = 0;
  uint32_t bias = 72;
  for (size_t at = basicEnd > 0 ? basicEnd + 1 : 0; at < input.size();) {
    const uint32_t oldI = i;
    uint32_t weight = 1;
    for (uint32_t k = kBase;; k += kBase) {
      if (at >= input.size()) return std::nullopt;
      const uint32_t digit = digitValue(input[at++]);
      if (digit >= kBase || digit > (kLargest - i) / weight) return std::nullopt;
      i += digit * weight;
      const uint32_t threshold = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
      if (digit < threshold) break;
      if (weight > kLargest / (kBase - threshold)) return std::nullopt;
      weight *= kBase - threshold;
    }
    const uint32_t points = static_cast<uint32_t>(output.size()) + 1;
    bias = adaptBias(i - oldI, points, oldI == 0);
    if (i / points > kLargestCodePoint - n) return std::nullopt;
    n += i / points;
    i %= points;
    if (n >= 0xD800 && n <= 0xDFFF) return std::nullopt;
    output.insert(output.begin() + i, static_cast<char32_t>(n));
    ++i;
  }
  if (output.empty()) return std::nullopt;
  return output;
}

void appendUtf8(std::string& text, char32_t c) {
  if (c < 0x80) {
    text += static_cast<char>(c);
  } else if (c < 0x800) {
    text += static_cast<char>(0xC0 | (c >> 6));
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    text += static_cast<char>(0xE0 | (c >> 12));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (c >> 18));
    text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

PublicSuffixRules readPublicSuffixList(std::string_view text) {
  PublicSuffixRules rules;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    size_t length = 0;
    while (length < line.size() && !isWhiteSpace(line[length])) ++length;
    line = line.substr(0, length);
    if (line.empty() || line.substr(0, 2) == "//") continue;
    PublicSuffixRule rule;
    if (line[0] == '!') {
      rule.kind = PublicSuffixRule::Kind::exception;
      line.remove_prefix(1);
    } else if (line.substr(0, 2) == "*.") {
      rule.kind = PublicSuffixRule::Kind::wildcard;
      line.remove_prefix(2);
    }
    if (line.empty()) continue;
    rule.domain = std::string(line);
    rules.push_back(std::move(rule));
  }
  return rules;
}

std::string ruleText(const PublicSuffixRule& rule) {
  switch (rule.kind) {
    case PublicSuffixRule::Kind::wildcard:
      return "*." + rule.domain;
    case PublicSuffixRule::Kind::exception:
      return "!" + rule.domain;
    case PublicSuffixRule::Kind::plain:
      break;
  }
  return rule.domain;
}

std::optional<PublicSuffixRule> publicSuffixRuleOf(std::string_view domain, const PublicSuffixRules& rules) {
  const std::string_view parent = parentOf(domain);
  const PublicSuffixRule* plain = nullptr;
  const PublicSuffixRule* wildcard = nullptr;
  for (const PublicSuffixRule& rule : rules) {
    switch (rule.kind) {
      case PublicSuffixRule::Kind::exception:
        if (isAtOrBelow(domain, rule.domain)) return std::nullopt;
        break;
      case PublicSuffixRule::Kind::plain:
        if (plain == nullptr && rule.domain == domain) plain = &rule;
        break;
      case PublicSuffixRule::Kind::wildcard:
        if (wildcard == nullptr && !parent.empty() && rule.domain == parent) wildcard = &rule;
        break;
    }
  }
  if (plain != nullptr) return *plain;
  if (wildcard != nullptr) return *wildcard;
  return std::nullopt;
}

std::optional<PublicSuffixRule> publicSuffixRuleBelow(std::string_view domain, const PublicSuffixRules& rules) {
  for (const PublicSuffixRule& rule : rules) {
    const bool below = rule.kind == PublicSuffixRule::Kind::plain      ? isStrictlyBelow(rule.domain, domain)
                       : rule.kind == PublicSuffixRule::Kind::wildcard ? isAtOrBelow(rule.domain, domain)
                                                                       : false;
    if (below) return rule;
  }
  return std::nullopt;
}

std::optional<std::string> unicodeDomainOf(std::string_view domain, std::string_view* badLabel) {
  std::string text;
  size_t start = 0;
  for (;;) {
    size_t end = domain.find('.', start);
    if (end == std::string_view::npos) end = domain.size();
    const std::string_view label = domain.substr(start, end - start);
    if (label.size() >= 4 && label.substr(0, 4) == "xn--") {
      const std::optional<std::u32string> decoded = decodePunycode(label.substr(4));
      if (!decoded) {
        if (badLabel != nullptr) *badLabel = label;
        return std::nullopt;
      }
      for (const char32_t c : *decoded) appendUtf8(text, c);
    } else {
      text += label;
    }
    if (end == domain.size()) return text;
    text += '.';
    start = end + 1;
  }
}

}  // namespace korvel
