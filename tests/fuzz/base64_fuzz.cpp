// Base64 text of message bytes: decodes back to the bytes, has lines of 64
// characters each ended by CR LF (the last one shorter, also ended), fits
// the product's 8192-character buffer or is refused, and a buffer too small
// for text and null is left untouched.
//
// Input: one byte choosing the buffer (0: the product's 8192 characters;
// otherwise the exact need plus (byte % 7) - 3), then the message bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "signing/text/base64.h"

namespace {

constexpr size_t kProductBuffer = 8192;
constexpr wchar_t kUntouched = 0xA5A5;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

int sextet(wchar_t c) {
  if (c >= L'A' && c <= L'Z') return c - L'A';
  if (c >= L'a' && c <= L'z') return c - L'a' + 26;
  if (c >= L'0' && c <= L'9') return c - L'0' + 52;
  if (c == L'+') return 62;
  if (c == L'/') return 63;
  return -1;
}

// Checks the line form and gives the characters without the line ends.
std::vector<wchar_t> unwrapLines(const wchar_t* text, size_t length) {
  std::vector<wchar_t> body;
  size_t i = 0;
  while (i < length) {
    size_t line = 0;
    while (i + line < length && text[i + line] != L'\r') ++line;
    if (line == 0 || line > 64) fail("line of a wrong length");
    if (i + line + 1 >= length || text[i + line + 1] != L'\n') fail("line not ended by CR LF");
    body.insert(body.end(), text + i, text + i + line);
    i += line + 2;
    if (line < 64 && i != length) fail("short line before the last");
  }
  return body;
}

std::vector<uint8_t> decode(const std::vector<wchar_t>& body) {
  if (body.size() % 4 != 0) fail("characters not a multiple of 4");
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < body.size(); i += 4) {
    const bool last = i + 4 == body.size();
    const int pad = (body[i + 3] == L'=') + (body[i + 2] == L'=');
    if (pad > 0 && !last) fail("padding before the end");
    if (pad == 1 && body[i + 2] == L'=') fail("padding out of place");
    uint32_t group = 0;
    for (int k = 0; k < 4 - pad; ++k) {
      const int value = sextet(body[i + k]);
      if (value < 0) fail("character outside the alphabet");
      group |= static_cast<uint32_t>(value) << (18 - 6 * k);
    }
    bytes.push_back(static_cast<uint8_t>(group >> 16));
    if (pad < 2) bytes.push_back(static_cast<uint8_t>(group >> 8));
    if (pad < 1) bytes.push_back(static_cast<uint8_t>(group));
    if ((pad == 1 && (group & 0xFF) != 0) || (pad == 2 && (group & 0xFFFF) != 0)) fail("stray bits in padding");
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  const uint8_t* message = data + 1;
  const size_t messageSize = size - 1;
  const size_t need = korvel::base64TextLength(messageSize) + 1;
  const size_t widened = need + choice % 7;
  const size_t capacity = choice == 0 ? kProductBuffer : (widened < 3 ? 0 : widened - 3);

  std::vector<wchar_t> buffer(capacity + 1, kUntouched);  // one guard character
  size_t length = 12345;
  const bool done = korvel::encodeBase64(messageSize == 0 ? nullptr : message, messageSize, buffer.data(),
                                         capacity, &length);
  if (buffer[capacity] != kUntouched) fail("written past the buffer");
  if (!done) {
    if (need <= capacity) fail("refused although text and null fit");
    if (length != 12345) fail("length written on refusal");
    for (size_t i = 0; i < capacity; ++i) {
      if (buffer[i] != kUntouched) fail("refused but the buffer was touched");
    }
    return 0;
  }
  if (need > capacity) fail("accepted although text and null do not fit");
  if (capacity == kProductBuffer && length > 8191) fail("over 8191 characters");
  if (length + 1 != need || buffer[length] != 0) fail("length or terminator wrong");
  for (size_t i = length + 1; i < capacity; ++i) {
    if (buffer[i] != kUntouched) fail("written after the terminator");
  }
  const std::vector<uint8_t> decoded = decode(unwrapLines(buffer.data(), length));
  if (decoded != std::vector<uint8_t>(message, message + messageSize)) fail("does not decode to the message");
  return 0;
}
