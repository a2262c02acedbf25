// Server_Date text reading: agrees with the C library's strtod ("C" locale)
// on the same text, and reads nothing past the text's terminator (the text
// sits at the end of an allocation of its exact size).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>

#include "control/text/server_date.h"

namespace {

// Bytes 80-FF stand for U+FF00-FF7F, where the full-width digits, signs,
// full stop and letters lie: none of them may count as part of a number.
wchar_t characterOf(uint8_t byte) { return byte < 0x80 ? byte : static_cast<wchar_t>(0xFF00 + byte - 0x80); }

// The grammar's alphabet: everything else ends the number, and strtod must
// not read hexadecimal, "inf" or "nan" forms that the reading does not know.
bool inNumberAlphabet(wchar_t c) {
  return (c >= L'0' && c <= L'9') || c == L'.' || c == L'e' || c == L'E' || c == L'+' || c == L'-' || c == L' ' ||
         (c >= L'\t' && c <= L'\r');
}

int64_t referenceSeconds(const wchar_t* text) {
  std::string narrow;
  for (; *text != 0 && inNumberAlphabet(*text); ++text) narrow += static_cast<char>(*text);
  const double seconds = std::strtod(narrow.c_str(), nullptr) / 1000.0;
  constexpr double kTwoTo63 = 9223372036854775808.0;
  if (!(seconds >= -kTwoTo63 && seconds < kTwoTo63)) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(seconds);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<wchar_t[]> text(new wchar_t[size + 1]);
  for (size_t i = 0; i < size; ++i) text[i] = characterOf(data[i]);
  text[size] = 0;
  const int64_t seconds = korvel::serverSecondsFromText(text.get());
  const int64_t expected = referenceSeconds(text.get());
  if (seconds != expected) {
    std::fprintf(stderr, "server seconds %lld, strtod gives %lld\n", static_cast<long long>(seconds),
                 static_cast<long long>(expected));
    std::abort();
  }
  return 0;
}
