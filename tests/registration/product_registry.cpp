#include "tests/registration/product_registry.h"

#include <oleauto.h>

#include <algorithm>

#include "KorvelTool_h.h"
#include "framework/handles.h"
#include "tests/support/build_architecture.h"
#include "tests/registration/registry_snapshot.h"
#include "tests/support/wide_text.h"

namespace registration_tests {
namespace {

std::wstring guidText(REFGUID guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, ARRAYSIZE(text));
  return text;
}

std::vector<std::wstring> productKeys() {
  return {L"KorveIE.2018.8.13", L"KorveIE", L"CLSID\\" + clsidText()};
}

}  // namespace

HKEY hiveRoot(Hive hive) { return hive == Hive::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

std::wstring clsidText() { return guidText(CLSID_KorvelIE); }
std::wstring libidText() { return guidText(LIBID_KorvelToolLib); }
std::wstring iidText() { return guidText(IID_IKorvelIE); }

std::vector<std::string> productEntries(Hive hive) {
  std::vector<std::string> lines;
  for (const std::wstring& key : productKeys()) {
    std::vector<std::string> below = snapshot(hiveRoot(hive), std::wstring(kClassesPath) + L"\\" + key);
    if (below.empty() && keyExists(hiveRoot(hive), std::wstring(kClassesPath) + L"\\" + key)) {
      lines.push_back(testing_support::utf8(key) + " (empty)");
    }
    for (const std::string& line : below) {
      lines.push_back(testing_support::utf8(key) + (line.rfind(" : ", 0) == 0 ? "" : "\\") + line);
    }
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> expectedProductEntries(const std::wstring& modulePath) {
  const std::string classKey = "CLSID\\" + testing_support::utf8(clsidText());
  std::vector<std::string> lines = {
      textLine("KorveIE.2018.8.13", "@", "KorveIE Class"),
      "KorveIE.2018.8.13\\CLSID",
      textLine("KorveIE.2018.8.13\\CLSID", "@", testing_support::utf8(clsidText())),
      textLine("KorveIE", "@", "KorveIE Class"),
      "KorveIE\\CurVer",
      textLine("KorveIE\\CurVer", "@", "KorveIE.2018.8.13"),
      textLine(classKey, "@", "KorveIE Class"),
      classKey + "\\ProgID",
      textLine(classKey + "\\ProgID", "@", "KorveIE.2018.8.13"),
      classKey + "\\VersionIndependentProgID",
      textLine(classKey + "\\VersionIndependentProgID", "@", "KorveIE"),
      classKey + "\\Programmable",
      classKey + "\\InprocServer32",
      textLine(classKey + "\\InprocServer32", "@", testing_support::utf8(modulePath)),
      textLine(classKey + "\\InprocServer32", "ThreadingModel", "Apartment"),
      classKey + "\\TypeLib",
      textLine(classKey + "\\TypeLib", "@", testing_support::utf8(libidText())),
      classKey + "\\Version",
      textLine(classKey + "\\Version", "@", "1.0"),
  };
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::wstring typeLibraryLocaleKey() { return L"Software\\Classes\\TypeLib\\" + libidText() + L"\\1.0\\0"; }

std::wstring registeredTypeLibraryPath() {
  framework::UniqueKey key;
  std::wstring path = typeLibraryLocaleKey() + L"\\" + testing_support::kTypeLibraryPlatform;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {};
  wchar_t value[1024] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return value;
}

std::vector<std::wstring> registeredTypeLibraryPlatforms() {
  std::vector<std::wstring> platforms;
  framework::UniqueKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, typeLibraryLocaleKey().c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    return platforms;
  }
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = ARRAYSIZE(name);
    if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    platforms.emplace_back(name, length);
  }
  std::sort(platforms.begin(), platforms.end());
  return platforms;
}

void removeProductRegistration() {
  for (Hive hive : {Hive::Machine, Hive::User}) {
    for (const std::wstring& key : productKeys()) deleteTree(hiveRoot(hive), std::wstring(kClassesPath) + L"\\" + key);
  }
  deleteTree(HKEY_LOCAL_MACHINE, std::wstring(kClassesPath) + L"\\Interface\\" + iidText());
  UnRegisterTypeLib(LIBID_KorvelToolLib, 1, 0, LOCALE_NEUTRAL, testing_support::kTypeLibrarySysKind);
}

}  // namespace registration_tests
