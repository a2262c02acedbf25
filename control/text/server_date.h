#pragma once
#include <cstdint>

namespace korvel {

// Reads the page's server time (decimal milliseconds since 1970, C-locale
// number syntax, trailing text ignored) as whole seconds, truncated toward
// zero. Unreadable text gives 0; a result outside 64 bits gives INT64_MIN.
// `text` may be null (reads as 0).
int64_t serverSecondsFromText(const wchar_t* text);

}  // namespace korvel
