#include "dialog/text/renewal_window.h"

#include <limits>

namespace korvel {
namespace {

constexpr int64_t kBefore = 31968000;  // 370 days
constexpr int64_t kAfter = 2592000;    // 30 days

}  // namespace

RenewalWindow renewalWindowAround(int64_t serverTime) {
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  RenewalWindow window{};
  window.lower = serverTime < kMin + kBefore ? kMin : serverTime - kBefore;
  window.upper = serverTime > kMax - kAfter ? kMax : serverTime + kAfter;
  return window;
}

}  // namespace korvel
