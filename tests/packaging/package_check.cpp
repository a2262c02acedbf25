// package_check: what the packaging tests ask of Windows itself.
//   package_check trust FILE
//     prints "WinVerifyTrust 0x%08X" for the file's Authenticode signature
//   package_check version FILE
//     prints "FileVersion a,b,c,d" from the file's version resource
//   package_check comments FILE
//     prints "Comments TEXT", the version resource's Comments string of its
//     first language, or "no Comments"
//   package_check product {PRODUCT-CODE}
//     prints "ProductState N", Windows Installer's state of that product
//     (5 installed, -1 unknown)
//   package_check dump 32|64|own PATH...
//     prints every key and value below each HKLM, HKCU or HKCR path in the
//     given registry view ("own": the process's own, as a program of this
//     architecture reads it), one sorted line each: "PATH\Sub : name = data"
#include <windows.h>
#include <msi.h>
#include <softpub.h>
#include <wintrust.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/handles.h"

namespace {

std::string utf8(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
  return bytes;
}

LONG verifyTrust(const wchar_t* path) {
  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return result;
}

std::string valueText(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == 0) text.pop_back();
    return (type == REG_SZ ? "SZ " : "EXPAND_SZ ") + utf8(text);
  }
  std::string hex = "TYPE" + std::to_string(type);
  char pair[4];
  for (DWORD i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof pair, " %02x", data[i]);
    hex += pair;
  }
  return hex;
}

void collect(HKEY key, const std::string& path, REGSAM view, std::vector<std::string>* lines) {
  for (DWORD index = 0;; ++index) {
    wchar_t name[16384];
    DWORD nameLength = ARRAYSIZE(name), type = 0, size = 0;
    if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::vector<BYTE> data(size + 2);
    nameLength = ARRAYSIZE(name);
    if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
    lines->push_back(path + " : " + (nameLength ? utf8(std::wstring(name, nameLength)) : "@") + " = " +
                     valueText(type, data, size));
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = ARRAYSIZE(name);
    if (RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::string child = path + "\\" + utf8(name);
    lines->push_back(child);
    framework::UniqueKey sub;
    if (RegOpenKeyExW(key, name, 0, KEY_READ | view, sub.put()) == ERROR_SUCCESS) {
      collect(sub.get(), child, view, lines);
    } else {
      lines->push_back(child + " (not readable)");
    }
  }
}

int dump(REGSAM view, int count, wchar_t** paths) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) {
    std::wstring path = paths[i];
    HKEY root = nullptr;
    if (path.rfind(L"HKLM\\", 0) == 0) root = HKEY_LOCAL_MACHINE;
    if (path.rfind(L"HKCU\\", 0) == 0) root = HKEY_CURRENT_USER;
    if (path.rfind(L"HKCR\\", 0) == 0) root = HKEY_CLASSES_ROOT;
    if (root == nullptr) return 2;
    framework::UniqueKey key;
    if (RegOpenKeyExW(root, path.c_str() + 5, 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) continue;
    lines.push_back(utf8(path));
    collect(key.get(), utf8(path), view, &lines);
  }
  std::sort(lines.begin(), lines.end());
  for (const std::string& line : lines) std::printf("%s\n", line.c_str());
  std::printf("DUMP-END\n");
  return 0;
}

int printVersion(const wchar_t* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::vector<BYTE> data(size ? size : 1);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoW(path, 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || length < sizeof *info) {
    std::printf("no version resource\n");
    return 1;
  }
  std::printf("FileVersion %lu,%lu,%lu,%lu\n", static_cast<unsigned long>(HIWORD(info->dwFileVersionMS)),
              static_cast<unsigned long>(LOWORD(info->dwFileVersionMS)),
              static_cast<unsigned long>(HIWORD(info->dwFileVersionLS)),
              static_cast<unsigned long>(LOWORD(info->dwFileVersionLS)));
  return 0;
}

int printComments(const wchar_t* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::vector<BYTE> data(size ? size : 1);
  struct Translation { WORD language; WORD codePage; };
  Translation* translations = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoW(path, 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length) ||
      length < sizeof *translations) {
    std::printf("no Comments\n");
    return 1;
  }
  wchar_t query[64];
  wsprintfW(query, L"\\StringFileInfo\\%04x%04x\\Comments", translations->language, translations->codePage);
  wchar_t* text = nullptr;
  if (!VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&text), &length) || text == nullptr) {
    std::printf("no Comments\n");
    return 1;
  }
  std::printf("Comments %s\n", utf8(std::wstring(text, length && text[length - 1] == 0 ? length - 1 : length)).c_str());
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && lstrcmpW(argv[1], L"trust") == 0) {
    std::printf("WinVerifyTrust 0x%08lX\n", static_cast<unsigned long>(verifyTrust(argv[2])));
    return 0;
  }
  if (argc == 3 && lstrcmpW(argv[1], L"version") == 0) return printVersion(argv[2]);
  if (argc == 3 && lstrcmpW(argv[1], L"comments") == 0) return printComments(argv[2]);
  if (argc == 3 && lstrcmpW(argv[1], L"product") == 0) {
    std::printf("ProductState %d\n", static_cast<int>(MsiQueryProductStateW(argv[2])));
    return 0;
  }
  if (argc >= 4 && lstrcmpW(argv[1], L"dump") == 0) {
    const struct { const wchar_t* name; REGSAM view; } views[] = {
        {L"32", KEY_WOW64_32KEY}, {L"64", KEY_WOW64_64KEY}, {L"own", 0}};
    for (const auto& v : views) {
      if (lstrcmpW(argv[2], v.name) == 0) return dump(v.view, argc - 3, argv + 3);
    }
  }
  std::fputs("usage: package_check trust FILE | version FILE | comments FILE | product CODE | dump 32|64|own PATH...\n", stderr);
  return 2;
}
