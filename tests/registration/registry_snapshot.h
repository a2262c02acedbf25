#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace registration_tests {

// Every key and value below root\path as sorted text lines, one per key
// ("Sub\\Key") and one per value ("Sub\\Key : name = TYPE data"); the
// default value is named "@". Empty when the key does not exist.
std::vector<std::string> snapshot(HKEY root, const std::wstring& path);

// Lines of one key and its values for expectations, in the same format.
std::string keyLine(const std::string& path);
std::string textLine(const std::string& path, const std::string& name, const std::string& text);

// The names of the direct subkeys of root\path, sorted.
std::vector<std::string> subkeyNames(HKEY root, const std::wstring& path);

bool keyExists(HKEY root, const std::wstring& path);
// Removes root\path with everything below it; a missing key is fine.
void deleteTree(HKEY root, const std::wstring& path);
// Creates root\path (and the keys above it) and sets its default value.
void createKey(HKEY root, const std::wstring& path, const wchar_t* defaultValue = nullptr);

}  // namespace registration_tests
