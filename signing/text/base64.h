#pragma once
#include <cstddef>
#include <cstdint>

namespace korvel {

// Characters of the base64 text of `size` bytes: the standard alphabet with
// "=" padding, a CR LF after every 64 characters and after the last line.
// No text (0) for no bytes.
size_t base64TextLength(size_t size);

// Writes that text and a terminating null into `out`, which holds `capacity`
// characters. Gives false, and writes nothing, when text and null do not fit.
bool encodeBase64(const uint8_t* data, size_t size, wchar_t* out, size_t capacity, size_t* length);

}  // namespace korvel
