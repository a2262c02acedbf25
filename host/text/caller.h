#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Who started the native messaging host: the browser names the calling
// extension in the host's arguments, and the host serves only its build's.
namespace korvel::host {

// The IDs this build serves, each list ';'-separated: the build settings
// KORVEL_EXTENSION_IDS (Chrome, Edge), KORVEL_FIREFOX_ID and
// KORVEL_FIREFOX_IDS, and the TEST-ONLY IDs with KORVEL_TEST_EXTENSION.
extern const char kServedChromeIds[];
extern const char kServedFirefoxIds[];

// 32 lower-case letters a-p.
bool isChromeExtensionId(std::string_view id);
// "name@domain" (letters, digits, '.', '_', '-'; the name may be empty) or a
// GUID in braces ("{8-4-4-4-12 hexadecimal digits}").
bool isFirefoxAddonId(std::string_view id);

enum class Browser { chrome, firefox };

struct Caller {
  Browser browser;
  std::string id;
};

// Reads the caller from the host's arguments (the program's own name left
// out). Chrome and Edge: the first is exactly "chrome-extension://ID/", and
// others may follow (on Windows "--parent-window=N"). Firefox: exactly two,
// the manifest's absolute path (ending in ".json") and the add-on ID.
// nullopt for anything else.
std::optional<Caller> readCaller(const std::vector<std::u16string>& arguments);

// Whether the arguments name a caller whose ID is in the list of its browser.
bool isCallerServed(const std::vector<std::u16string>& arguments, std::string_view chromeIds,
                    std::string_view firefoxIds);

}  // namespace korvel::host
