// version-comments FILE
// Prints the Comments value of FILE's version resource, in the resource's
// first translation, as UTF-8 and a newline; exits 1 when FILE has no
// version resource or no such value.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Translation {
  WORD language;
  WORD codePage;
};

// The version resource of `file`, or an empty block.
std::vector<BYTE> versionBlock(const wchar_t* file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
  std::vector<BYTE> block(size);
  if (size == 0 || !GetFileVersionInfoW(file, 0, size, block.data())) block.clear();
  return block;
}

bool comments(std::vector<BYTE>& block, std::wstring& value) {
  void* found = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &found, &length) ||
      length < sizeof(Translation)) {
    return false;
  }
  const auto* translation = static_cast<const Translation*>(found);
  wchar_t path[64];
  swprintf(path, 64, L"\\StringFileInfo\\%04x%04x\\Comments", translation->language, translation->codePage);
  if (!VerQueryValueW(block.data(), path, &found, &length)) return false;
  // The length counts the terminating null where there is one.
  value.assign(static_cast<const wchar_t*>(found), length);
  if (!value.empty() && value.back() == L'\0') value.pop_back();
  return true;
}

void printUtf8Line(const std::wstring& text) {
  std::string bytes;
  if (!text.empty()) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    bytes.resize(size);
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
  }
  bytes.push_back('\n');
  fwrite(bytes.data(), 1, bytes.size(), stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fwprintf(stderr, L"usage: version-comments FILE\n");
    return 2;
  }
  std::vector<BYTE> block = versionBlock(argv[1]);
  std::wstring value;
  if (block.empty() || !comments(block, value)) {
    fwprintf(stderr, L"version-comments: %ls has no Comments value\n", argv[1]);
    return 1;
  }
  printUtf8Line(value);
  return 0;
}
