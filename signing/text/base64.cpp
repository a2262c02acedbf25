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

}  // namespace korvel
