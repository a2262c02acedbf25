#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::verify {

// UTF-8 to UTF-16 code units, strictly: no overlong forms, no encoded
// surrogates, nothing above U+10FFFF, no cut sequences. False for anything else.
bool utf8ToUtf16(std::string_view utf8, std::u16string* units);

// The code units as bytes, low byte first (what the control signs).
std::vector<uint8_t> utf16LeBytes(const std::u16string& units);

}  // namespace korvel::verify
