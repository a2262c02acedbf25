#include "control/text/server_date.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace korvel {
namespace {

bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool isCSpace(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// The longest prefix of `text` (after white space) that is a decimal number
// in C syntax, as narrow text without a leading '+'; empty when none.
struct NumberSpan {
  std::string digits;    // what from_chars reads
  bool negative = false;
  long magnitude = 0;    // decimal position of the first nonzero digit
};

NumberSpan scanNumber(const wchar_t* p) {
  NumberSpan span;
  while (isCSpace(*p)) ++p;
  std::string out;
  if (*p == L'+' || *p == L'-') {
    span.negative = (*p == L'-');
    if (span.negative) out += '-';
    ++p;
  }
  size_t mantissaDigits = 0;
  long intDigits = 0;         // significant digits before the point
  long leadingFracZeros = 0;  // zeros after the point before a nonzero digit
  bool seenNonzero = false;
  for (; isDigit(*p); ++p, ++mantissaDigits) {
    if (*p != L'0') seenNonzero = true;
    if (seenNonzero) ++intDigits;
    out += static_cast<char>(*p);
  }
  if (*p == L'.') {
    std::string frac = ".";
    const wchar_t* q = p + 1;
    for (; isDigit(*q); ++q, ++mantissaDigits) {
      if (!seenNonzero && *q == L'0') ++leadingFracZeros;
      if (*q != L'0') seenNonzero = true;
      frac += static_cast<char>(*q);
    }
    if (mantissaDigits > 0) {
      out += frac;
      p = q;
    }
  }
  if (mantissaDigits == 0) return NumberSpan{};
  long exponent = 0;
  if (*p == L'e' || *p == L'E') {
    const wchar_t* q = p + 1;
    std::string exp = "e";
    bool expNegative = false;
    if (*q == L'+' || *q == L'-') {
      expNegative = (*q == L'-');
      exp += static_cast<char>(*q);
      ++q;
    }
    if (isDigit(*q)) {
      for (; isDigit(*q); ++q) {
        exp += static_cast<char>(*q);
        if (exponent < 100000) exponent = exponent * 10 + (*q - L'0');
      }
      if (expNegative) exponent = -exponent;
      out += exp;
    }
  }
  span.digits = out;
  span.magnitude = (intDigits > 0 ? intDigits : -leadingFracZeros) + exponent;
  return span;
}

// The number at the start of `text`; false when there is none.
bool readDouble(const wchar_t* text, double* number) {
  *number = 0.0;
  if (text == nullptr) return false;
  NumberSpan span = scanNumber(text);
  if (span.digits.empty()) return false;
  double value = 0.0;
  const char* first = span.digits.data();
  const char* last = first + span.digits.size();
  auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  (void)ptr;
  if (ec == std::errc::result_out_of_range) {
    double huge = span.magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    *number = span.negative ? -huge : huge;
    return true;
  }
  if (ec == std::errc()) *number = value;
  return true;
}

bool inSecondsRange(double seconds) {
  constexpr double kTwoTo63 = 9223372036854775808.0;
  return seconds >= -kTwoTo63 && seconds < kTwoTo63;
}

}  // namespace

int64_t serverSecondsFromText(const wchar_t* text) {
  double milliseconds = 0.0;
  readDouble(text, &milliseconds);
  const double seconds = milliseconds / 1000.0;
  if (!inSecondsRange(seconds)) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(seconds);
}

std::optional<int64_t> readableServerSeconds(const wchar_t* text) {
  double milliseconds = 0.0;
  if (!readDouble(text, &milliseconds)) return std::nullopt;
  const double seconds = milliseconds / 1000.0;
  if (!inSecondsRange(seconds)) return std::nullopt;
  return static_cast<int64_t>(seconds);
}

}  // namespace korvel
