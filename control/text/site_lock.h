#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace korvel {

// The origins whose pages may use the control: the build setting
// KORVEL_ALLOWED_ORIGINS, entries separated by ';', checked at configure time.
extern const char kAllowedOrigins[];

// One entry of an origin list: "scheme://host[:port]", or "scheme://*.suffix"
// for every host strictly below the suffix. Views point into the entry text.
struct OriginEntry {
  std::string_view scheme;  // "http" or "https"
  std::string_view host;    // the suffix, without "*.", for a wildcard entry
  bool wildcard = false;
  uint16_t port = 0;        // the scheme's default when the entry names none
};

// Reads one entry; nullopt unless it is in the strict form the build setting
// allows (lower case, no path, port 1-65535 without leading zeros).
std::optional<OriginEntry> parseOriginEntry(std::string_view entry);

// The first entry of `list` whose scheme, host and port (default applied) are
// those of `url`, or nullopt. Entries that do not read are skipped.
std::optional<std::string_view> allowingOrigin(std::u16string_view url, std::string_view list);

// True only when `url` is an absolute http/https URL whose scheme, host and
// port are those of one entry of `list`. Fails closed on anything unusual.
bool isUrlAllowed(std::u16string_view url, std::string_view list);

// True when `text` is an origin alone: an http or https URL read as above
// that ends right after its host or port (no path, not even "/").
bool isOrigin(std::u16string_view text);

// An origin alone (isOrigin) whose scheme is https.
bool isHttpsOrigin(std::u16string_view text);

}  // namespace korvel
