#pragma once
#include <cstdint>

namespace korvel {

// The end dates that qualify for renewal around the server time S: from
// 370 days before S to 30 days after it, both bounds inside.
struct RenewalWindow {
  int64_t lower;
  int64_t upper;
  bool contains(int64_t notAfter) const { return lower <= notAfter && notAfter <= upper; }
};

// The window around `serverTime` (seconds since 1970). The bounds saturate at
// the ends of the 64-bit range instead of overflowing, so the earliest
// server time (an out-of-range Server_Date) gives a window in the far past.
RenewalWindow renewalWindowAround(int64_t serverTime);

}  // namespace korvel
