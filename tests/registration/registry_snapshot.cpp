#include "tests/registration/registry_snapshot.h"

#include <algorithm>
#include <cstdio>

#include "framework/handles.h"
#include "tests/support/wide_text.h"

namespace registration_tests {
namespace {

std::string hexBytes(const BYTE* bytes, DWORD size) {
  std::string text;
  char pair[4];
  for (DWORD i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    if (i > 0) text += ' ';
    text += pair;
  }
  return text;
}

std::string valueText(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  switch (type) {
    case REG_SZ: {
      std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
      if (!text.empty() && text.back() == 0) text.pop_back();
      return "SZ " + testing_support::utf8(text);
    }
    case REG_DWORD: {
      char number[16];
      std::snprintf(number, sizeof number, "0x%08lx", size == 4 ? *reinterpret_cast<const DWORD*>(data.data()) : 0ul);
      return size == 4 ? std::string("DWORD ") + number : "DWORD(size " + std::to_string(size) + ")";
    }
    case REG_MULTI_SZ:
      return "MULTI_SZ " + hexBytes(data.data(), size);
    case REG_BINARY:
      return "BINARY " + hexBytes(data.data(), size);
    default:
      return "TYPE" + std::to_string(type) + " " + hexBytes(data.data(), size);
  }
}

void collect(HKEY key, const std::string& path, std::vector<std::string>* lines) {
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = ARRAYSIZE(name);
    DWORD type = 0;
    DWORD size = 0;
    if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::vector<BYTE> data(size + 2);
    nameLength = ARRAYSIZE(name);
    if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    std::string valueName = nameLength == 0 ? "@" : testing_support::utf8(std::wstring(name, nameLength));
    lines->push_back(path + " : " + valueName + " = " + valueText(type, data, size));
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = ARRAYSIZE(name);
    if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::string childPath = path.empty() ? testing_support::utf8(name) : path + "\\" + testing_support::utf8(name);
    lines->push_back(keyLine(childPath));
    framework::UniqueKey child;
    if (RegOpenKeyExW(key, name, 0, KEY_READ, child.put()) == ERROR_SUCCESS) {
      collect(child.get(), childPath, lines);
    } else {
      lines->push_back(childPath + " (not readable)");
    }
  }
}

}  // namespace

std::vector<std::string> snapshot(HKEY root, const std::wstring& path) {
  std::vector<std::string> lines;
  framework::UniqueKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return lines;
  collect(key.get(), "", &lines);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> subkeyNames(HKEY root, const std::wstring& path) {
  std::vector<std::string> names;
  framework::UniqueKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS) return names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = ARRAYSIZE(name);
    if (RegEnumKeyExW(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(testing_support::utf8(std::wstring(name, nameLength)));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string keyLine(const std::string& path) { return path; }

std::string textLine(const std::string& path, const std::string& name, const std::string& text) {
  return path + " : " + name + " = SZ " + text;
}

bool keyExists(HKEY root, const std::wstring& path) {
  framework::UniqueKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void deleteTree(HKEY root, const std::wstring& path) {
  framework::UniqueKey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return;
  RegDeleteTreeW(key.get(), nullptr);
  key.reset();
  RegDeleteKeyW(root, path.c_str());
}

void createKey(HKEY root, const std::wstring& path, const wchar_t* defaultValue) {
  framework::UniqueKey key;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  if (defaultValue != nullptr) {
    RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(defaultValue),
                   static_cast<DWORD>((lstrlenW(defaultValue) + 1) * sizeof(wchar_t)));
  }
}

}  // namespace registration_tests
