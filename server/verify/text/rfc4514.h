#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvel::verify {

// An attribute value (UTF-8) as an RFC 4514 string: '"', '+', ',', ';', '<',
// '>' and '\' escaped with a backslash, a leading space or '#' and a trailing
// space too; NUL and the other control characters as backslash and two hex
// digits. Other characters, UTF-8 included, stay as they are.
std::string rfc4514Value(std::string_view utf8);

// A value that has no string form: '#' and the hex digits of its DER bytes.
std::string rfc4514HexValue(const uint8_t* der, size_t size);

}  // namespace korvel::verify
