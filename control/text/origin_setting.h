#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "control/text/public_suffix.h"

// The build-time check of the KORVEL_ALLOWED_ORIGINS setting, beyond each
// entry's form (parseOriginEntry, control/text/site_lock.h): which origins
// can hold. Tests and tools use it; the control itself never does.
namespace korvel {

// What a build accepts in its origin list beyond the entries' form.
struct OriginPolicy {
  const PublicSuffixRules& publicSuffixes;  // the Public Suffix List
  bool allowHttp = false;                   // KORVEL_ALLOW_HTTP_ORIGINS
};

// Why a build refuses an entry. The names in the table of setting values
// (tests/native/allowed_origins_table.txt) are given by reasonName.
enum class OriginRefusal {
  form,          // not "scheme://host[:port]" (parseOriginEntry)
  http,          // http off loopback, unless the policy allows it
  idn,           // an "xn--" label of a wildcard's domain is not punycode
  publicSuffix,  // a wildcard over a public suffix
  singleLabel,   // a wildcard over a one-label domain
  suffixBelow,   // a wildcard over a domain with public suffixes below it
};

struct BadOrigin {
  size_t position = 0;        // 1-based, in the list
  std::string_view entry;     // a view into the list; empty for an empty entry
  OriginRefusal reason = OriginRefusal::form;
  std::string detail;         // the rule (Public Suffix List) or label named
};

// The first entry of an origin list that the build refuses, or nullopt
// when it accepts them all (an empty list is accepted; an empty entry in a
// non-empty list is not).
std::optional<BadOrigin> firstBadOrigin(std::string_view list, const OriginPolicy& policy);

// The configure-time message: entry N "..." is not an allowed origin: REASON.
std::string describeBadOrigin(const BadOrigin& bad);

const char* reasonName(OriginRefusal reason);

}  // namespace korvel
