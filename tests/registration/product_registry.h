#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace registration_tests {

// Where the product's class entries live: the machine's classes or the user's.
enum class Hive { Machine, User };

HKEY hiveRoot(Hive hive);
constexpr wchar_t kClassesPath[] = L"Software\\Classes";

// GUIDs in registry form.
std::wstring clsidText();
std::wstring libidText();
std::wstring iidText();

// The product's entries below a classes key: both ProgIDs and the class key,
// as snapshot lines prefixed by their key's name relative to the classes key.
std::vector<std::string> productEntries(Hive hive);
// What registration must write for a module at modulePath.
std::vector<std::string> expectedProductEntries(const std::wstring& modulePath);
// The path registered for the type library under this build's platform
// (win32 or win64), or empty.
std::wstring registeredTypeLibraryPath();
// The platforms (win32, win64) registered for the type library, sorted.
std::vector<std::wstring> registeredTypeLibraryPlatforms();

// Removes the product's entries from both hives and the type library registration.
void removeProductRegistration();

}  // namespace registration_tests
