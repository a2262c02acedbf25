// regscript: runs a registration script file in either direction against the
// registry, with the same interpreter the DLL uses, and prints the HRESULT.
//
//   regscript [/u] [/user] [/v NAME=VALUE]... FILE
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/com_module.h"
#include "framework/file_bytes.h"
#include "framework/handles.h"
#include "registration/reg_object.h"

namespace {

struct Options {
  bool unregister = false;
  bool perUser = false;
  std::vector<std::pair<std::wstring, std::wstring>> variables;
  std::wstring file;
};

void printUsage() {
  std::fputs(
      "usage: regscript [/u] [/user] [/v NAME=VALUE]... FILE\n"
      "  Runs the registration script FILE against the registry and prints the\n"
      "  resulting HRESULT, e.g. 0x00000000.\n"
      "  /u            unregister (default: register)\n"
      "  /user         per-user mode: top-level HKCR blocks go to HKCU\\Software\\Classes\n"
      "  /v NAME=VALUE defines the variable %NAME% (repeatable; first definition wins)\n"
      "  FILE          script text: UTF-16 or UTF-8 with a byte order mark,\n"
      "                otherwise the system's ANSI code page\n",
      stdout);
}

bool isOption(const wchar_t* argument, const wchar_t* name) {
  return (argument[0] == L'/' || argument[0] == L'-') && lstrcmpiW(argument + 1, name) == 0;
}

bool parseVariable(const std::wstring& text, Options* options) {
  size_t equals = text.find(L'=');
  if (equals == 0 || equals == std::wstring::npos) return false;
  options->variables.emplace_back(text.substr(0, equals), text.substr(equals + 1));
  return true;
}

bool parseArguments(int argc, wchar_t** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const wchar_t* argument = argv[i];
    if (isOption(argument, L"u")) {
      options->unregister = true;
    } else if (isOption(argument, L"user")) {
      options->perUser = true;
    } else if (isOption(argument, L"v")) {
      if (++i == argc || !parseVariable(argv[i], options)) return false;
    } else if (argument[0] == L'/' || argument[0] == L'-' || !options->file.empty()) {
      return false;
    } else {
      options->file = argument;
    }
  }
  return !options->file.empty();
}

HRESULT convert(UINT codePage, const char* bytes, size_t size, std::wstring* text) {
  text->clear();
  if (size == 0) return S_OK;
  int length = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), nullptr, 0);
  if (length == 0) return framework::hresultFromLastError();
  text->resize(length);
  MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(size), &(*text)[0], length);
  return S_OK;
}

// The script text: UTF-16LE or UTF-8 after a byte order mark, else ANSI.
HRESULT scriptText(const std::string& bytes, std::wstring* text) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    text->assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / sizeof(wchar_t));
    return S_OK;
  }
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    return convert(CP_UTF8, bytes.data() + 3, bytes.size() - 3, text);
  }
  return convert(CP_ACP, bytes.data(), bytes.size(), text);
}

HRESULT runScriptFile(const Options& options) {
  std::string bytes;
  HRESULT hr = framework::readFileBytes(options.file, &bytes);
  if (FAILED(hr)) return hr;
  std::wstring text;
  if (FAILED(hr = scriptText(bytes, &text))) return hr;
  registration::CRegObject registrar;
  for (const auto& variable : options.variables) {
    if (FAILED(hr = registrar.AddVariable(variable.first.c_str(), variable.second.c_str()))) return hr;
  }
  perUserRegistration = options.perUser;
  return registrar.RunScript(text.c_str(), !options.unregister);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!parseArguments(argc, argv, &options)) {
    printUsage();
    return 2;
  }
  HRESULT hr = runScriptFile(options);
  std::printf("0x%08lX\n", static_cast<unsigned long>(hr));
  return SUCCEEDED(hr) ? 0 : 1;
}
