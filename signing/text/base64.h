#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvel {

// Characters of the base64 text of `size` bytes: the standard alphabet with
// "=" padding, a CR LF after every 64 characters and after the last line.
// No text (0) for no bytes.
size_t base64TextLength(size_t size);

// Writes that text and a terminating null into `out`, which holds `capacity`
// characters. Gives false, and writes nothing, when text and null do not fit.
bool encodeBase64(const uint8_t* data, size_t size, wchar_t* out, size_t capacity, size_t* length);

// Reads base64 text back strictly, in either form a page passes it on: the
// lines encodeBase64 writes (64 characters each, every one ended by CR LF;
// the last may lack its CR LF), or all on one line without line breaks.
// "=" padding to whole groups, no other characters, unused bits zero.
// False, with `bytes` cleared, for anything else.
bool decodeBase64(const char* text, size_t length, std::vector<uint8_t>* bytes);

}  // namespace korvel
