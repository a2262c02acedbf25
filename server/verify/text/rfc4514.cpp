#include "server/verify/text/rfc4514.h"

namespace korvel::verify {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendHexPair(std::string& out, unsigned char c) {
  out.push_back(kHexDigits[c >> 4]);
  out.push_back(kHexDigits[c & 0x0F]);
}

}  // namespace

std::string rfc4514Value(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 8);
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const bool first = i == 0;
    const bool last = i + 1 == utf8.size();
    if (c < 0x20 || c == 0x7F) {
      out.push_back('\\');
      appendHexPair(out, c);
      continue;
    }
    switch (c) {
      case '"': case '+': case ',': case ';': case '<': case '>': case '\\':
        out.push_back('\\');
        break;
      case '#':
        if (first) out.push_back('\\');
        break;
      case ' ':
        if (first || last) out.push_back('\\');
        break;
      default:
        break;
    }
    out.push_back(static_cast<char>(c));
  }
  return out;
}

std::string rfc4514HexValue(const uint8_t* der, size_t size) {
  std::string out = "#";
  for (size_t i = 0; i < size; ++i) appendHexPair(out, der[i]);
  return out;
}

}  // namespace korvel::verify
