#include "control/text/origin_setting.h"

#include <utility>

#include "control/text/site_lock.h"

namespace korvel {
namespace {

constexpr const char kFormProblem[] =
    "not scheme://host[:port] or scheme://*.domain as the setting allows them (see README, Site lock)";

// 127.0.0.0/8 or "localhost", for the host of an entry of the right form
// (whose host is a dotted quad when its last label is a number).
bool isLoopbackHost(std::string_view host) {
  if (host == "localhost") return true;
  if (host.substr(0, 4) != "127.") return false;
  const std::string_view last = host.substr(host.rfind('.') + 1);
  return !last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos;
}

// Why the build refuses the entry `text`, beyond its form: an http entry
// off loopback can be served by anyone on the network path, and a wildcard
// over a public suffix takes in sites of unrelated owners.
std::optional<OriginRefusal> refusalOf(std::string_view text, const OriginPolicy& policy, std::string& detail) {
  const std::optional<OriginEntry> entry = parseOriginEntry(text);
  if (!entry) return OriginRefusal::form;
  if (entry->scheme == "http" && !policy.allowHttp && (entry->wildcard || !isLoopbackHost(entry->host))) {
    return OriginRefusal::http;
  }
  if (!entry->wildcard) return std::nullopt;
  std::string_view badLabel;
  const std::optional<std::string> domain = unicodeDomainOf(entry->host, &badLabel);
  if (!domain) {
    detail = std::string(badLabel);
    return OriginRefusal::idn;
  }
  if (const std::optional<PublicSuffixRule> rule = publicSuffixRuleOf(*domain, policy.publicSuffixes)) {
    detail = ruleText(*rule);
    return OriginRefusal::publicSuffix;
  }
  if (entry->host.find('.') == std::string_view::npos) return OriginRefusal::singleLabel;
  if (const std::optional<PublicSuffixRule> rule = publicSuffixRuleBelow(*domain, policy.publicSuffixes)) {
    detail = ruleText(*rule);
    return OriginRefusal::suffixBelow;
  }
  return std::nullopt;
}

}  // namespace

std::optional<BadOrigin> firstBadOrigin(std::string_view list, const OriginPolicy& policy) {
  if (list.empty()) return std::nullopt;
  size_t position = 1;
  for (size_t start = 0;; ++position) {
    const size_t end = list.find(';', start);
    const std::string_view text = list.substr(start, end == std::string_view::npos ? end : end - start);
    std::string detail;
    if (const std::optional<OriginRefusal> reason = refusalOf(text, policy, detail)) {
      return BadOrigin{position, text, *reason, std::move(detail)};
    }
    if (end == std::string_view::npos) return std::nullopt;
    start = end + 1;
  }
}

std::string describeBadOrigin(const BadOrigin& bad) {
  std::string message = "entry " + std::to_string(bad.position) + " \"" + std::string(bad.entry) +
                        "\" is not an allowed origin: ";
  const std::optional<OriginEntry> entry = parseOriginEntry(bad.entry);
  const std::string domain = entry ? std::string(entry->host) : std::string();
  switch (bad.reason) {
    case OriginRefusal::form:
      return message + (bad.entry.empty() ? "an empty entry" : kFormProblem);
    case OriginRefusal::http:
      return message +
             "http only for a loopback host (127.0.0.0/8, localhost): anyone on the network path can serve "
             "pages as this origin (set KORVEL_ALLOW_HTTP_ORIGINS to accept it anyway)";
    case OriginRefusal::idn:
      return message + "the label \"" + bad.detail +
             "\" of the wildcard's domain is not punycode, so the Public Suffix List cannot judge it";
    case OriginRefusal::publicSuffix:
      return message + "\"" + domain + "\" is a public suffix (rule \"" + bad.detail +
             "\" of the Public Suffix List): the wildcard would take in every site registered under it";
    case OriginRefusal::singleLabel:
      return message + "a wildcard over the single label \"" + domain + "\" would take in every name under it";
    case OriginRefusal::suffixBelow:
      return message + "the Public Suffix List has public suffixes below \"" + domain + "\" (rule \"" + bad.detail +
             "\"): the wildcard would take in the sites registered under them";
  }
  return message;
}

const char* reasonName(OriginRefusal reason) {
  switch (reason) {
    case OriginRefusal::form:
      return "form";
    case OriginRefusal::http:
      return "http";
    case OriginRefusal::idn:
      return "idn";
    case OriginRefusal::publicSuffix:
      return "public-suffix";
    case OriginRefusal::singleLabel:
      return "single-label";
    case OriginRefusal::suffixBelow:
      return "suffix-below";
  }
  return "";
}

}  // namespace korvel
