// Site lock: a document URL is allowed only when a simple, separate reading
// of its scheme, host and port gives those of the entry that allowed it; the
// reading never goes past the URL or the list (both sit in allocations of
// their exact size).
// The build's check of a list (firstBadOrigin) names an entry of the list,
// refuses no more when http is allowed, and names the same entry unless it
// was refused for http; the punycode reading takes any bytes.
// Input: a first byte below 0x80 picks one of the fixed lists and the rest is
// the URL; otherwise the rest is the list, a newline, and the URL. URL bytes
// 80-8F stand for awkward UTF-16 units (look-alikes, surrogates), 90-FF for
// U+FF10-FF7F (full-width forms).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "control/text/origin_setting.h"
#include "control/text/site_lock.h"

namespace {

const char* const kFixedLists[] = {
    ("https://renew.example.jp;https://*.corp.example.jp;http://intra.example.jp:8080;"
     "https://xn--bcher-kva.example.jp;http://192.0.2.10"),
    "https://*.example.jp",
    "http://a.jp:1;https://*.b.a.jp:65535;https://1.2.3.4",
};

const char16_t kAwkwardUnits[16] = {0x3002, 0xFF0E, 0x212A, 0x017F, 0x0130, 0x00FC, 0x00A0, 0xFEFF,
                                    0xD800, 0xDC00, 0x200B, 0x2215, 0xFF3C, 0x0080, 0x0000, 0xFFFD};

char16_t unitOf(uint8_t byte) {
  if (byte < 0x80) return byte;
  if (byte < 0x90) return kAwkwardUnits[byte - 0x80];
  return static_cast<char16_t>(0xFF10 + byte - 0x90);
}

// A few rules of each kind, one of them in UTF-8 ("公司.cn").
const korvel::PublicSuffixRules& fuzzRules() {
  static const korvel::PublicSuffixRules rules = korvel::readPublicSuffixList(
      "jp\nco.jp\n*.ck\n!www.ck\ncn\n\xE5\x85\xAC\xE5\x8F\xB8.cn\ngithub.io\n*.kobe.jp\n!city.kobe.jp\n");
  return rules;
}

[[noreturn]] void fail(const char* what, std::string_view entry) {
  std::fprintf(stderr, "%s (entry \"%.*s\")\n", what, static_cast<int>(entry.size()), entry.data());
  std::abort();
}

// scheme, host and port of "scheme://authority", read with std::string
// searches: the host is what comes before the last ':' of the authority.
struct Parts {
  std::string scheme;
  std::string host;
  bool wildcard = false;
  unsigned long port = 0;
};

std::optional<Parts> partsOf(const std::string& text) {
  const size_t separator = text.find("://");
  if (separator == std::string::npos) return std::nullopt;
  Parts parts;
  parts.scheme = text.substr(0, separator);
  std::string authority = text.substr(separator + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (authority.compare(0, 2, "*.") == 0) {
    parts.wildcard = true;
    authority.erase(0, 2);
  }
  const size_t colon = authority.rfind(':');
  parts.host = authority.substr(0, colon);
  parts.port = parts.scheme == "https" ? 443 : 80;
  if (colon != std::string::npos) {
    const std::string digits = authority.substr(colon + 1);
    if (digits.empty() || digits.size() > 40 || digits.find_first_not_of("0123456789") != std::string::npos) {
      return std::nullopt;
    }
    const size_t first = digits.find_first_not_of('0');
    parts.port = first == std::string::npos ? 0 : std::stoul("0" + digits.substr(first, 6));
  }
  return parts;
}

bool hostCharactersOnly(const std::string& host) {
  if (host.empty() || host.front() == '.' || host.back() == '.' || host.find("..") != std::string::npos) return false;
  return host.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789.-") == std::string::npos;
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The URL as lower-case ASCII up to its first unit outside ASCII or its end.
std::string lowerAsciiPrefix(std::u16string_view url) {
  std::string text;
  for (const char16_t unit : url) {
    if (unit >= 0x80) break;
    const char c = static_cast<char>(unit);
    text += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return text;
}

void checkAllowed(std::u16string_view url, std::string_view list, std::string_view entry) {
  if (entry.data() < list.data() || entry.data() + entry.size() > list.data() + list.size()) {
    fail("the allowing entry is not part of the list", entry);
  }
  if (!korvel::parseOriginEntry(entry)) fail("an entry that does not read allowed a URL", entry);
  for (const char16_t unit : url) {
    if (unit <= 0x20 || unit == 0x7F) fail("a URL with a space or control character was allowed", entry);
  }
  const std::optional<Parts> expected = partsOf(std::string(entry));
  const std::string text = lowerAsciiPrefix(url);
  const std::optional<Parts> actual = partsOf(text);
  if (!expected || !actual) fail("the URL or its entry does not split into scheme, host and port", entry);
  if (text.compare(0, actual->scheme.size() + 3, actual->scheme + "://") != 0 || actual->wildcard) {
    fail("the allowed URL does not start with scheme://host", entry);
  }
  if (!hostCharactersOnly(actual->host)) fail("the allowed URL's host is not plain ASCII labels", entry);
  // The authority must end inside the ASCII text, not at a non-ASCII unit.
  if (text.find_first_of("/?#", actual->scheme.size() + 3) == std::string::npos && text.size() != url.size()) {
    fail("the allowed URL's authority has a unit outside ASCII", entry);
  }
  if (actual->scheme != expected->scheme) fail("the allowed URL has another scheme", entry);
  if (actual->port != expected->port) fail("the allowed URL has another port", entry);
  const bool hostMatches = expected->wildcard ? actual->host.size() > expected->host.size() + 1 &&
                                                    endsWith(actual->host, "." + expected->host)
                                              : actual->host == expected->host;
  if (!hostMatches) fail("the allowed URL has another host", entry);
}

void checkPolicies(std::string_view list) {
  const std::optional<korvel::BadOrigin> strict = korvel::firstBadOrigin(list, {fuzzRules(), false});
  const std::optional<korvel::BadOrigin> lenient = korvel::firstBadOrigin(list, {fuzzRules(), true});
  for (const std::optional<korvel::BadOrigin>* bad : {&strict, &lenient}) {
    if (!*bad) continue;
    const std::string_view entry = (*bad)->entry;
    if (entry.data() < list.data() || entry.data() + entry.size() > list.data() + list.size()) {
      fail("the refused entry is not part of the list", entry);
    }
    if (korvel::describeBadOrigin(**bad).find(std::string(entry)) == std::string::npos) {
      fail("the message does not name the refused entry", entry);
    }
  }
  if (!strict && lenient) fail("allowing http refused a list", lenient->entry);
  if (strict && strict->reason != korvel::OriginRefusal::http &&
      (!lenient || lenient->position != strict->position || lenient->reason != strict->reason)) {
    fail("allowing http changed a refusal for another reason", strict->entry);
  }
  if (strict && lenient && lenient->position < strict->position) fail("allowing http refused an earlier entry", "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view listBytes;
  const uint8_t* urlBytes = data + 1;
  size_t urlSize = size - 1;
  if (data[0] < 0x80) {
    listBytes = kFixedLists[data[0] % (sizeof kFixedLists / sizeof kFixedLists[0])];
  } else {
    const void* newline = std::memchr(data + 1, '\n', size - 1);
    if (newline == nullptr) return 0;
    const size_t listSize = static_cast<size_t>(static_cast<const uint8_t*>(newline) - (data + 1));
    listBytes = std::string_view(reinterpret_cast<const char*>(data + 1), listSize);
    urlBytes = data + 2 + listSize;
    urlSize = size - 2 - listSize;
  }
  std::unique_ptr<char[]> listCopy(new char[listBytes.size()]);
  std::memcpy(listCopy.get(), listBytes.data(), listBytes.size());
  const std::string_view list(listCopy.get(), listBytes.size());
  std::unique_ptr<char16_t[]> urlCopy(new char16_t[urlSize]);
  for (size_t i = 0; i < urlSize; ++i) urlCopy[i] = unitOf(urlBytes[i]);
  const std::u16string_view url(urlCopy.get(), urlSize);

  checkPolicies(list);
  korvel::unicodeDomainOf(list);
  const std::optional<std::string_view> entry = korvel::allowingOrigin(url, list);
  if (korvel::isUrlAllowed(url, list) != entry.has_value()) fail("isUrlAllowed and allowingOrigin disagree", "");
  if (entry) checkAllowed(url, list, *entry);
  return 0;
}
