#include "control/text/site_lock.h"

#include <string_view>

namespace korvel {
namespace {

constexpr uint16_t kHttpPort = 80;
constexpr uint16_t kHttpsPort = 443;
constexpr uint32_t kLargestPort = 65535;

// Both the entries (char) and the document URL (char16_t) are read with the
// same host rules; only the letter case they allow differs.
enum class LetterCase { lowerOnly, any };

template <typename Char>
bool isDigit(Char c) {
  return c >= '0' && c <= '9';
}

template <typename Char>
bool isHexDigit(Char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

template <typename Char>
Char lowerAscii(Char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
}

template <typename Char>
bool isLabelCharacter(Char c, LetterCase letters) {
  const bool upper = c >= 'A' && c <= 'Z';
  return (c >= 'a' && c <= 'z') || isDigit(c) || c == '-' || (upper && letters == LetterCase::any);
}

// Compares ASCII letters without regard to case; `lower` is in lower case.
template <typename Char>
bool equalsIgnoringCase(std::basic_string_view<Char> text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (lowerAscii(text[i]) != static_cast<Char>(static_cast<unsigned char>(lower[i]))) return false;
  }
  return true;
}

template <typename Char>
bool startsWithIgnoringCase(std::basic_string_view<Char> text, std::string_view lower) {
  return text.size() >= lower.size() && equalsIgnoringCase(text.substr(0, lower.size()), lower);
}

// Dot-separated labels of letters, digits and hyphens, none empty (so no
// leading or trailing dot): no '%', '@', '\', '[', space or non-ASCII unit.
template <typename Char>
bool isLabelSequence(std::basic_string_view<Char> host, LetterCase letters) {
  bool labelStart = true;
  for (const Char c : host) {
    if (c == '.') {
      if (labelStart) return false;
      labelStart = true;
    } else if (isLabelCharacter(c, letters)) {
      labelStart = false;
    } else {
      return false;
    }
  }
  return !labelStart;
}

template <typename Char>
std::basic_string_view<Char> lastLabel(std::basic_string_view<Char> host) {
  const size_t dot = host.rfind(static_cast<Char>('.'));
  return dot == std::basic_string_view<Char>::npos ? host : host.substr(dot + 1);
}

// A URL parser reads a host whose last label is a number (decimal, or 0x
// and hexadecimal digits) as an IPv4 address in one of several forms.
template <typename Char>
bool isNumberLabel(std::basic_string_view<Char> label) {
  if (startsWithIgnoringCase(label, "0x")) {
    for (const Char c : label.substr(2)) {
      if (!isHexDigit(c)) return false;
    }
    return true;
  }
  for (const Char c : label) {
    if (!isDigit(c)) return false;
  }
  return !label.empty();
}

// The one IPv4 form read here: four decimal parts 0-255, no leading zeros,
// which is also how URL parsers write an address back.
template <typename Char>
bool isDottedQuad(std::basic_string_view<Char> host) {
  size_t parts = 0;
  size_t start = 0;
  while (start <= host.size()) {
    size_t end = host.find(static_cast<Char>('.'), start);
    if (end == std::basic_string_view<Char>::npos) end = host.size();
    const std::basic_string_view<Char> part = host.substr(start, end - start);
    if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
    unsigned value = 0;
    for (const Char c : part) {
      if (!isDigit(c)) return false;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 255 || ++parts > 4) return false;
    start = end + 1;
  }
  return parts == 4;
}

template <typename Char>
bool isHost(std::basic_string_view<Char> host, LetterCase letters) {
  return isLabelSequence(host, letters) && (!isNumberLabel(lastLabel(host)) || isDottedQuad(host));
}

std::optional<uint16_t> defaultPortOf(std::string_view scheme) {
  if (scheme == "https") return kHttpsPort;
  if (scheme == "http") return kHttpPort;
  return std::nullopt;
}

// An entry's port is written canonically: 1-65535, no leading zeros.
std::optional<uint16_t> readEntryPort(std::string_view text) {
  if (text.empty() || text.size() > 5 || text[0] == '0') return std::nullopt;
  uint32_t value = 0;
  for (const char c : text) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value > kLargestPort) return std::nullopt;
  return static_cast<uint16_t>(value);
}

// A URL's port may have leading zeros (":0443" is 443), as URL parsers read
// it; it must have at least one digit, and port 0 never matches an entry.
std::optional<uint16_t> readUrlPort(std::u16string_view text) {
  if (text.empty()) return std::nullopt;
  uint32_t value = 0;
  for (const char16_t c : text) {
    if (!isDigit(c)) return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - u'0');
    if (value > kLargestPort) return std::nullopt;
  }
  if (value == 0) return std::nullopt;
  return static_cast<uint16_t>(value);
}

struct UrlOrigin {
  std::u16string_view scheme;
  std::u16string_view host;
  uint16_t port = 0;
};

bool hasSpaceOrControl(std::u16string_view url) {
  for (const char16_t c : url) {
    if (c <= u' ' || c == 0x7F) return true;
  }
  return false;
}

// scheme ":" "//" host [":" port] and then '/', '?', '#' or the end. The
// host rules refuse user information, backslashes, percent signs, IPv6
// literals and non-ASCII text in the authority.
std::optional<UrlOrigin> readUrlOrigin(std::u16string_view url) {
  if (hasSpaceOrControl(url)) return std::nullopt;
  const size_t colon = url.find(u':');
  if (colon == std::u16string_view::npos) return std::nullopt;
  UrlOrigin origin;
  origin.scheme = url.substr(0, colon);
  if (equalsIgnoringCase(origin.scheme, "https")) {
    origin.port = kHttpsPort;
  } else if (equalsIgnoringCase(origin.scheme, "http")) {
    origin.port = kHttpPort;
  } else {
    return std::nullopt;
  }
  std::u16string_view rest = url.substr(colon + 1);
  if (rest.substr(0, 2) != u"//") return std::nullopt;
  rest.remove_prefix(2);
  const std::u16string_view authority = rest.substr(0, rest.find_first_of(u"/?#"));
  const size_t portColon = authority.find(u':');
  origin.host = authority.substr(0, portColon);
  if (!isHost(origin.host, LetterCase::any)) return std::nullopt;
  if (portColon != std::u16string_view::npos) {
    const std::optional<uint16_t> port = readUrlPort(authority.substr(portColon + 1));
    if (!port) return std::nullopt;
    origin.port = *port;
  }
  return origin;
}

// Labels that the wildcard stands for must not be punycode: whether such a
// label decodes to a valid name is not checked here, so it is refused. An
// IDN host under a wildcard is allowed by an entry of its own.
bool hasPunycodeLabel(std::u16string_view labels) {
  size_t start = 0;
  while (start <= labels.size()) {
    if (startsWithIgnoringCase(labels.substr(start), "xn--")) return true;
    const size_t dot = labels.find(u'.', start);
    if (dot == std::u16string_view::npos) break;
    start = dot + 1;
  }
  return false;
}

bool hostMatches(const OriginEntry& entry, std::u16string_view host) {
  if (!entry.wildcard) return equalsIgnoringCase(host, entry.host);
  if (host.size() < entry.host.size() + 2) return false;
  const size_t suffixStart = host.size() - entry.host.size();
  return host[suffixStart - 1] == u'.' && equalsIgnoringCase(host.substr(suffixStart), entry.host) &&
         !hasPunycodeLabel(host.substr(0, suffixStart - 1));
}

bool originMatches(const OriginEntry& entry, const UrlOrigin& url) {
  return entry.port == url.port && equalsIgnoringCase(url.scheme, entry.scheme) && hostMatches(entry, url.host);
}

// Calls `visit` with each ';'-separated entry of a non-empty list until it
// returns true; gives that entry.
template <typename Visit>
std::optional<std::string_view> findEntry(std::string_view list, Visit visit) {
  if (list.empty()) return std::nullopt;
  size_t start = 0;
  for (;;) {
    const size_t end = list.find(';', start);
    const std::string_view entry = list.substr(start, end == std::string_view::npos ? end : end - start);
    if (visit(entry)) return entry;
    if (end == std::string_view::npos) return std::nullopt;
    start = end + 1;
  }
}

}  // namespace

std::optional<OriginEntry> parseOriginEntry(std::string_view entry) {
  const size_t schemeEnd = entry.find("://");
  if (schemeEnd == std::string_view::npos) return std::nullopt;
  OriginEntry origin;
  origin.scheme = entry.substr(0, schemeEnd);
  const std::optional<uint16_t> defaultPort = defaultPortOf(origin.scheme);
  if (!defaultPort) return std::nullopt;
  origin.port = *defaultPort;
  std::string_view authority = entry.substr(schemeEnd + 3);
  if (authority.substr(0, 2) == "*.") {
    origin.wildcard = true;
    authority.remove_prefix(2);
  }
  const size_t colon = authority.find(':');
  origin.host = authority.substr(0, colon);
  if (!isHost(origin.host, LetterCase::lowerOnly)) return std::nullopt;
  // A wildcard stands for names below a domain, never for addresses.
  if (origin.wildcard && isNumberLabel(lastLabel(origin.host))) return std::nullopt;
  if (colon != std::string_view::npos) {
    const std::optional<uint16_t> port = readEntryPort(authority.substr(colon + 1));
    if (!port) return std::nullopt;
    origin.port = *port;
  }
  return origin;
}

std::optional<std::string_view> allowingOrigin(std::u16string_view url, std::string_view list) {
  const std::optional<UrlOrigin> origin = readUrlOrigin(url);
  if (!origin) return std::nullopt;
  return findEntry(list, [&origin](std::string_view text) {
    const std::optional<OriginEntry> entry = parseOriginEntry(text);
    return entry && originMatches(*entry, *origin);
  });
}

bool isUrlAllowed(std::u16string_view url, std::string_view list) { return allowingOrigin(url, list).has_value(); }

bool isOrigin(std::u16string_view text) {
  const std::optional<UrlOrigin> origin = readUrlOrigin(text);
  return origin && text.find_first_of(u"/?#", origin->scheme.size() + 3) == std::u16string_view::npos;
}

bool isHttpsOrigin(std::u16string_view text) {
  return isOrigin(text) && equalsIgnoringCase(readUrlOrigin(text)->scheme, "https");
}

}  // namespace korvel
