#include "host/text/caller.h"

#include <algorithm>

namespace korvel::host {
namespace {

constexpr std::u16string_view kChromeScheme = u"chrome-extension://";
constexpr size_t kChromeIdLength = 32;

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isAddonNameCharacter(char c) { return isAsciiLetter(c) || isDigit(c) || c == '.' || c == '_' || c == '-'; }

bool isGuidInBraces(std::string_view id) {
  constexpr std::string_view form = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (id.size() != form.size()) return false;
  for (size_t i = 0; i < form.size(); ++i) {
    if (form[i] == 'x' ? !isHexDigit(id[i]) : id[i] != form[i]) return false;
  }
  return true;
}

bool isEmailLike(std::string_view id) {
  const size_t at = id.find('@');
  if (at == std::string_view::npos || at + 1 == id.size()) return false;
  const auto nameCharacter = [](char c) { return isAddonNameCharacter(c); };
  return std::all_of(id.begin(), id.begin() + at, nameCharacter) &&
         std::all_of(id.begin() + at + 1, id.end(), nameCharacter);
}

// The text as ASCII, or nullopt when it holds anything else.
std::optional<std::string> ascii(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char16_t unit : text) {
    if (unit == 0 || unit > 0x7F) return std::nullopt;
    out.push_back(static_cast<char>(unit));
  }
  return out;
}

bool endsWithJson(std::u16string_view path) {
  constexpr std::u16string_view suffix = u".json";
  if (path.size() < suffix.size()) return false;
  const std::u16string_view tail = path.substr(path.size() - suffix.size());
  return std::equal(tail.begin(), tail.end(), suffix.begin(),
                    [](char16_t a, char16_t b) { return (a >= u'A' && a <= u'Z' ? a + 32 : a) == b; });
}

// A drive path ("C:\..." or "C:/..."), a UNC path ("\\server\...") or, where
// the browser runs on a Unix system, "/...".
bool isAbsolutePath(std::u16string_view path) {
  if (path.size() >= 3 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/')) {
    return (path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z');
  }
  return path.size() >= 2 && ((path[0] == u'\\' && path[1] == u'\\') || path[0] == u'/');
}

std::optional<Caller> chromeCaller(std::u16string_view origin) {
  if (origin.size() != kChromeScheme.size() + kChromeIdLength + 1 || origin.substr(0, kChromeScheme.size()) != kChromeScheme ||
      origin.back() != u'/') {
    return std::nullopt;
  }
  std::optional<std::string> id = ascii(origin.substr(kChromeScheme.size(), kChromeIdLength));
  if (!id || !isChromeExtensionId(*id)) return std::nullopt;
  return Caller{Browser::chrome, std::move(*id)};
}

std::optional<Caller> firefoxCaller(std::u16string_view manifestPath, std::u16string_view addonId) {
  if (manifestPath.find(u'\0') != std::u16string_view::npos || !isAbsolutePath(manifestPath) ||
      !endsWithJson(manifestPath)) {
    return std::nullopt;
  }
  std::optional<std::string> id = ascii(addonId);
  if (!id || !isFirefoxAddonId(*id)) return std::nullopt;
  return Caller{Browser::firefox, std::move(*id)};
}

bool isListed(std::string_view id, std::string_view list) {
  while (!list.empty()) {
    const size_t end = std::min(list.find(';'), list.size());
    if (list.substr(0, end) == id) return true;
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return false;
}

}  // namespace

bool isChromeExtensionId(std::string_view id) {
  return id.size() == kChromeIdLength && std::all_of(id.begin(), id.end(), [](char c) { return c >= 'a' && c <= 'p'; });
}

bool isFirefoxAddonId(std::string_view id) { return isEmailLike(id) || isGuidInBraces(id); }

std::optional<Caller> readCaller(const std::vector<std::u16string>& arguments) {
  if (arguments.empty()) return std::nullopt;
  if (arguments[0].substr(0, kChromeScheme.size()) == kChromeScheme) return chromeCaller(arguments[0]);
  if (arguments.size() == 2) return firefoxCaller(arguments[0], arguments[1]);
  return std::nullopt;
}

bool isCallerServed(const std::vector<std::u16string>& arguments, std::string_view chromeIds,
                    std::string_view firefoxIds) {
  const std::optional<Caller> caller = readCaller(arguments);
  if (!caller) return false;
  return isListed(caller->id, caller->browser == Browser::chrome ? chromeIds : firefoxIds);
}

}  // namespace korvel::host
