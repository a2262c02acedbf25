// msireg: writes the registry tables of a Windows Installer package from the
// module itself: its registration script resources, read the way its own
// registration reads them, and its type library.
//
//   msireg [/user] DLL FILE_KEY COMPONENT COMPONENT32 REGISTRY_IDT REMOVE_IDT
//
// FILE_KEY is the package's key of the installed DLL: the module path of the
// scripts and the type library's path become [#FILE_KEY]. COMPONENT owns the
// rows; COMPONENT32 ("-" for none) gets the interface entries that the type
// library services also write into the 32-bit view. The tables are written
// as UTF-8 text in the installer's table exchange format.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/com_ptr.h"
#include "framework/handles.h"
#include "korvel_ids.h"
#include "packaging/msireg/registry_rows.h"

namespace {

using packaging::RegistryRow;
using packaging::RowKind;

constexpr UINT kModuleScriptId = 101;
constexpr UINT kControlScriptId = 102;
// Stands for the installed module's path until the rows are written.
constexpr char16_t kModulePathMark[] = u"\uE000";
// Stands for the installation folder (the type library's help folder).
constexpr char16_t kInstallFolderMark[] = u"\uE001";
// Every oleautomation interface is marshalled by the OLE Automation proxy.
constexpr wchar_t kAutomationProxy[] = L"{00020424-0000-0000-C000-000000000046}";

struct Options {
  bool perUser = false;
  std::wstring dll, fileKey, component, component32, registryTable, removeTable;
};

// The variables the module gives its scripts, with the module path marked.
class ScriptVariables : public registration::text::VariableSource {
 public:
  const char16_t* findVariable(const char16_t* name, size_t length) const override {
    std::wstring wanted(reinterpret_cast<const wchar_t*>(name), length);
    if (lstrcmpiW(wanted.c_str(), L"APPID") == 0) return reinterpret_cast<const char16_t*>(kKorvelAppIdText);
    if (lstrcmpiW(wanted.c_str(), L"Module") == 0 || lstrcmpiW(wanted.c_str(), L"Module_Raw") == 0) {
      return kModulePathMark;
    }
    return nullptr;
  }
};

std::u16string utf16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

HRESULT scriptRows(const Options& options, UINT id, std::vector<RegistryRow>* rows) {
  framework::UniqueLibrary module(LoadLibraryExW(options.dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  HRSRC resource = FindResourceW(module.get(), MAKEINTRESOURCEW(id), L"REGISTRY");
  HGLOBAL loaded = resource ? LoadResource(module.get(), resource) : nullptr;
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (bytes == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  int size = static_cast<int>(SizeofResource(module.get(), resource));
  std::wstring script(size, L'\0');
  int converted = size ? MultiByteToWideChar(CP_ACP, 0, bytes, size, &script[0], size) : 0;
  script.resize(converted);
  ScriptVariables variables;
  return packaging::readScriptRows(utf16(script).c_str(), options.perUser, variables, rows);
}

std::wstring guidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, ARRAYSIZE(text));
  return text;
}

// The entries the type library services write for the module's library and
// its automation interfaces, below classesKey.
HRESULT typeLibraryRows(const Options& options, int root, const std::u16string& classesKey,
                        std::vector<RegistryRow>* rows, std::vector<RegistryRow>* rows32) {
  framework::ComPtr<ITypeLib> library;
  HRESULT hr = LoadTypeLibEx(options.dll.c_str(), REGKIND_NONE, library.put());
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  if (FAILED(hr = library->GetLibAttr(&attributes))) return hr;
  std::wstring libid = guidText(attributes->guid);
  wchar_t version[32], lcid[16], flags[16];
  wsprintfW(version, L"%x.%x", attributes->wMajorVerNum, attributes->wMinorVerNum);
  wsprintfW(lcid, L"%lx", static_cast<unsigned long>(attributes->lcid));
  wsprintfW(flags, L"%u", attributes->wLibFlags);
  const wchar_t* platform = attributes->syskind == SYS_WIN64 ? L"win64" : L"win32";
  library->ReleaseTLibAttr(attributes);

  auto add = [&](std::vector<RegistryRow>* target, const std::wstring& key, const wchar_t* name,
                 const std::u16string& value) {
    target->push_back(RegistryRow{RowKind::Value, root, classesKey + utf16(key), utf16(name), value});
  };
  std::wstring libraryKey = L"TypeLib\\" + libid + L"\\" + version;
  framework::UniqueBstr help;
  if (FAILED(hr = library->GetDocumentation(-1, nullptr, help.put(), nullptr, nullptr))) return hr;
  if (help.get() != nullptr) add(rows, libraryKey, L"", utf16(help.get()));
  add(rows, libraryKey + L"\\" + lcid + L"\\" + platform, L"", kModulePathMark);
  add(rows, libraryKey + L"\\FLAGS", L"", utf16(flags));
  add(rows, libraryKey + L"\\HELPDIR", L"", kInstallFolderMark);

  for (UINT index = 0; index < library->GetTypeInfoCount(); ++index) {
    framework::ComPtr<ITypeInfo> info;
    if (FAILED(hr = library->GetTypeInfo(index, info.put()))) return hr;
    TYPEATTR* type = nullptr;
    if (FAILED(hr = info->GetTypeAttr(&type))) return hr;
    bool automation = type->typekind == TKIND_DISPATCH ||
                      (type->typekind == TKIND_INTERFACE && (type->wTypeFlags & TYPEFLAG_FOLEAUTOMATION));
    std::wstring iid = guidText(type->guid);
    info->ReleaseTypeAttr(type);
    if (!automation) continue;
    framework::UniqueBstr name;
    if (FAILED(hr = info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr))) return hr;
    for (std::vector<RegistryRow>* target : {rows, rows32}) {
      if (target == nullptr) continue;
      std::wstring key = L"Interface\\" + iid;
      add(target, key, L"", utf16(name.get() ? name.get() : L""));
      add(target, key + L"\\ProxyStubClsid", L"", utf16(kAutomationProxy));
      add(target, key + L"\\ProxyStubClsid32", L"", utf16(kAutomationProxy));
      add(target, key + L"\\TypeLib", L"", utf16(libid));
      add(target, key + L"\\TypeLib", L"Version", utf16(version));
    }
  }
  return S_OK;
}

// Text for a formatted column: brackets escaped, the module mark made the
// installed file's path.
std::string formatted(const std::u16string& text, const std::wstring& fileKey, bool isValue) {
  std::wstring out;
  if (isValue && !text.empty() && text[0] == u'#') out += L'#';  // a leading # would mean a number
  for (char16_t c : text) {
    if (c == kModulePathMark[0]) {
      out += L"[#" + fileKey + L"]";
    } else if (c == kInstallFolderMark[0]) {
      out += L"[INSTALLDIR]";
    } else if (c == u'[' || c == u']') {
      out += L"[\\";
      out += static_cast<wchar_t>(c);
      out += L']';
    } else {
      out += static_cast<wchar_t>(c);
    }
  }
  int size = WideCharToMultiByte(CP_UTF8, 0, out.c_str(), static_cast<int>(out.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, out.c_str(), static_cast<int>(out.size()), &bytes[0], size, nullptr, nullptr);
  return bytes;
}

bool plainCell(const std::string& text) { return text.find_first_of("\t\r\n") == std::string::npos; }

HRESULT writeFile(const std::wstring& path, const std::string& bytes) {
  framework::UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return HRESULT_FROM_WIN32(GetLastError());
  }
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  return S_OK;
}

std::string ascii(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// Registry and RemoveRegistry tables in the table exchange format.
HRESULT writeTables(const Options& options, const std::vector<RegistryRow>& rows,
                    const std::vector<RegistryRow>& rows32) {
  std::string registry = "Registry\tRoot\tKey\tName\tValue\tComponent_\r\ns72\ti2\tl255\tL255\tL0\ts72\r\nRegistry\tRegistry\r\n";
  std::string remove = "RemoveRegistry\tRoot\tKey\tName\tComponent_\r\ns72\ti2\tl255\tL255\ts72\r\nRemoveRegistry\tRemoveRegistry\r\n";
  int number = 0;
  for (const std::vector<RegistryRow>* set : {&rows, &rows32}) {
    std::string component = ascii(set == &rows ? options.component : options.component32);
    for (const RegistryRow& row : *set) {
      char id[16];
      std::snprintf(id, sizeof id, "reg%03d", ++number);
      std::string key = formatted(row.key, options.fileKey, false);
      std::string name = formatted(row.name, options.fileKey, false);
      std::string value = formatted(row.value, options.fileKey, true);
      if (!plainCell(key) || !plainCell(name) || !plainCell(value)) return E_INVALIDARG;
      std::string line = std::string(id) + "\t" + std::to_string(row.root) + "\t" + key + "\t";
      switch (row.kind) {
        case RowKind::Value:
          if (value.empty()) return E_INVALIDARG;  // an empty value cannot be told from a key row
          registry += line + name + "\t" + value + "\t" + component + "\r\n";
          break;
        case RowKind::CreateKey:
          registry += line + "+\t\t" + component + "\r\n";
          break;
        case RowKind::OwnedKey:
          registry += line + "*\t\t" + component + "\r\n";
          break;
        case RowKind::RemoveKey:
          remove += line + "-\t" + component + "\r\n";
          break;
      }
    }
  }
  HRESULT hr = writeFile(options.registryTable, registry);
  return FAILED(hr) ? hr : writeFile(options.removeTable, remove);
}

HRESULT run(const Options& options) {
  std::vector<RegistryRow> rows, rows32;
  HRESULT hr = scriptRows(options, kModuleScriptId, &rows);
  if (SUCCEEDED(hr)) hr = scriptRows(options, kControlScriptId, &rows);
  if (FAILED(hr)) return hr;
  int root = options.perUser ? 1 : 0;
  std::u16string classesKey = options.perUser ? u"Software\\Classes\\" : u"";
  hr = typeLibraryRows(options, root, classesKey, &rows, options.component32 == L"-" ? nullptr : &rows32);
  return FAILED(hr) ? hr : writeTables(options, rows, rows32);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  int first = 1;
  if (argc > 1 && lstrcmpiW(argv[1], L"/user") == 0) {
    options.perUser = true;
    first = 2;
  }
  if (argc - first != 6) {
    std::fputs("usage: msireg [/user] DLL FILE_KEY COMPONENT COMPONENT32 REGISTRY_IDT REMOVE_IDT\n", stderr);
    return 2;
  }
  options.dll = argv[first];
  options.fileKey = argv[first + 1];
  options.component = argv[first + 2];
  options.component32 = argv[first + 3];
  options.registryTable = argv[first + 4];
  options.removeTable = argv[first + 5];
  CoInitialize(nullptr);
  HRESULT hr = run(options);
  CoUninitialize();
  std::printf("msireg: 0x%08lX\n", static_cast<unsigned long>(hr));
  return SUCCEEDED(hr) ? 0 : 1;
}
