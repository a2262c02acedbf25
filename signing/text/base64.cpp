#include "signing/text/base64.h"

namespace korvel {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineLength = 64;

}  // namespace

size_t base64TextLength(size_t size) {
  const size_t characters = (size / 3 + (size % 3 != 0)) * 4;
  const size_t lines = characters / kLineLength + (characters % kLineLength != 0);
  return characters + 2 * lines;
}

bool encodeBase64(const uint8_t* data, size_t size, wchar_t* out, size_t capacity, size_t* length) {
  // The length formula must not overflow: anything near SIZE_MAX does not fit anyway.
  if (size > static_cast<size_t>(-1) / 2 || capacity == 0) return false;
  const size_t total = base64TextLength(size);
  if (total >= capacity) return false;

  size_t written = 0;
  size_t onLine = 0;
  auto put = [&](wchar_t c) {
    out[written++] = c;
    if (++onLine == kLineLength) {
      out[written++] = L'\r';
      out[written++] = L'\n';
      onLine = 0;
    }
  };
  for (size_t i = 0; i < size; i += 3) {
    const size_t left = size - i;
    const uint32_t group = (uint32_t{data[i]} << 16) | (left > 1 ? uint32_t{data[i + 1]} << 8 : 0) |
                           (left > 2 ? uint32_t{data[i + 2]} : 0);
    put(static_cast<wchar_t>(kAlphabet[(group >> 18) & 0x3F]));
    put(static_cast<wchar_t>(kAlphabet[(group >> 12) & 0x3F]));
    put(left > 1 ? static_cast<wchar_t>(kAlphabet[(group >> 6) & 0x3F]) : L'=');
    put(left > 2 ? static_cast<wchar_t>(kAlphabet[group & 0x3F]) : L'=');
  }
  if (onLine != 0) {
    out[written++] = L'\r';
    out[written++] = L'\n';
  }
  out[written] = L'\0';
  *length = written;
  return true;
}

namespace {

int sextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// The characters without their line ends, when the text is in one of the two
// forms; false otherwise.
bool unwrapLines(const char* text, size_t length, std::vector<char>* body) {
  body->clear();
  body->reserve(length);
  size_t i = 0;
  while (i < length) {
    size_t line = 0;
    while (i + line < length && text[i + line] != '\r' && text[i + line] != '\n') ++line;
    const size_t end = i + line;
    if (end == length) {  // the last line, without a line end
      if (line == 0 || (i != 0 && line > kLineLength)) return false;
      body->insert(body->end(), text + i, text + end);
      return true;
    }
    if (line == 0 || line > kLineLength || text[end] != '\r' || end + 1 >= length || text[end + 1] != '\n') {
      return false;
    }
    body->insert(body->end(), text + i, text + end);
    i = end + 2;
    if (line < kLineLength && i != length) return false;  // only the last line may be short
  }
  return true;
}

}  // namespace

bool decodeBase64(const char* text, size_t length, std::vector<uint8_t>* bytes) {
  bytes->clear();
  std::vector<char> body;
  if (text == nullptr || !unwrapLines(text, length, &body) || body.size() % 4 != 0) return false;
  size_t padding = 0;
  while (padding < 2 && padding < body.size() && body[body.size() - 1 - padding] == '=') ++padding;
  bytes->reserve(body.size() / 4 * 3);
  uint32_t group = 0;
  const size_t characters = body.size() - padding;
  for (size_t i = 0; i < characters; ++i) {
    const int sextet = sextetOf(body[i]);
    if (sextet < 0) {
      bytes->clear();
      return false;
    }
    group = (group << 6) | static_cast<uint32_t>(sextet);
    if (i % 4 == 3) {
      bytes->push_back(static_cast<uint8_t>(group >> 16));
      bytes->push_back(static_cast<uint8_t>(group >> 8));
      bytes->push_back(static_cast<uint8_t>(group));
      group = 0;
    }
  }
  // The last group of 2 or 3 characters, its unused low bits zero.
  const size_t tail = characters % 4;
  bool ok = true;
  if (tail == 2) {
    ok = (group & 0x0F) == 0;
    bytes->push_back(static_cast<uint8_t>(group >> 4));
  } else if (tail == 3) {
    ok = (group & 0x03) == 0;
    bytes->push_back(static_cast<uint8_t>(group >> 10));
    bytes->push_back(static_cast<uint8_t>(group >> 2));
  } else if (tail == 1) {
    ok = false;
  }
  if (!ok) bytes->clear();
  return ok;
}

}  // namespace korvel
