#pragma once
#include <cstdint>
#include <optional>

namespace korvel {

// Reads the page's server time (decimal milliseconds since 1970, C-locale
// number syntax, trailing text ignored) as whole seconds, truncated toward
// zero. Unreadable text gives 0; a result outside 64 bits gives INT64_MIN.
// `text` may be null (reads as 0).
int64_t serverSecondsFromText(const wchar_t* text);

// The same reading for a service that must tell an unreadable time from a
// real one: nullopt when the text holds no number, or one whose seconds lie
// outside 64 bits; otherwise what serverSecondsFromText gives.
std::optional<int64_t> readableServerSeconds(const wchar_t* text);

}  // namespace korvel
