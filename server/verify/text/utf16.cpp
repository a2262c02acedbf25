#include "server/verify/text/utf16.h"

namespace korvel::verify {
namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// One code point from `utf8` at `*i`, moving `*i` past it; false when the
// bytes there are not a well-formed sequence.
bool nextCodePoint(std::string_view utf8, size_t* i, char32_t* point) {
  const unsigned char lead = static_cast<unsigned char>(utf8[*i]);
  size_t count;
  char32_t value;
  char32_t least;
  if (lead < 0x80) {
    *point = lead;
    ++*i;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    count = 1, value = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    count = 2, value = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    count = 3, value = lead & 0x07, least = 0x10000;
  } else {
    return false;
  }
  if (utf8.size() - *i - 1 < count) return false;
  for (size_t k = 1; k <= count; ++k) {
    const unsigned char c = static_cast<unsigned char>(utf8[*i + k]);
    if (!isContinuation(c)) return false;
    value = (value << 6) | (c & 0x3F);
  }
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *point = value;
  *i += count + 1;
  return true;
}

}  // namespace

bool utf8ToUtf16(std::string_view utf8, std::u16string* units) {
  units->clear();
  units->reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    char32_t point;
    if (!nextCodePoint(utf8, &i, &point)) {
      units->clear();
      return false;
    }
    if (point < 0x10000) {
      units->push_back(static_cast<char16_t>(point));
    } else {
      point -= 0x10000;
      units->push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
      units->push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    }
  }
  return true;
}

std::vector<uint8_t> utf16LeBytes(const std::u16string& units) {
  std::vector<uint8_t> bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t unit : units) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

}  // namespace korvel::verify
