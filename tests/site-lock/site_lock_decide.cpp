// Prints "allow" or "refuse" for each line of a file of document URLs, as
// korvel::isUrlAllowed decides against the list given.
//   site_lock_decide LIST FILE
// The file is UTF-8; each line (ended by '\n', which no URL holds) becomes
// UTF-16 as the control receives it. A byte that does not start a valid
// UTF-8 sequence becomes U+FFFD.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "control/text/site_lock.h"

namespace {

// The length of the valid UTF-8 sequence at `text[at]` and its code point,
// or 0 when there is none.
size_t readUtf8(const std::string& text, size_t at, char32_t& codePoint) {
  const auto byte = [&text](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(at);
  size_t length = 0;
  char32_t lowest = 0;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, codePoint = lead & 0x1F, lowest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, codePoint = lead & 0x0F, lowest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, codePoint = lead & 0x07, lowest = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
  }
  const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
  return codePoint < lowest || codePoint > 0x10FFFF || surrogate ? 0 : length;
}

std::u16string utf16FromUtf8(const std::string& text) {
  std::u16string units;
  for (size_t at = 0; at < text.size();) {
    char32_t codePoint = 0;
    const size_t length = readUtf8(text, at, codePoint);
    if (length == 0) {
      units += u'\uFFFD';
      ++at;
      continue;
    }
    at += length;
    if (codePoint < 0x10000) {
      units += static_cast<char16_t>(codePoint);
    } else {
      units += static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
    }
  }
  return units;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: site_lock_decide LIST FILE\n");
    return 2;
  }
  std::ifstream file(argv[2], std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "cannot read %s\n", argv[2]);
    return 2;
  }
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::string decisions;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::u16string url = utf16FromUtf8(text.substr(start, end - start));
    decisions += korvel::isUrlAllowed(url, argv[1]) ? "allow\n" : "refuse\n";
    start = end + 1;
  }
  std::fwrite(decisions.data(), 1, decisions.size(), stdout);
  return std::ferror(stdout) ? 1 : 0;
}
