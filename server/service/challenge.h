#pragma once
// Challenges: the text a page has signed, its random part, its hash, and
// the session tokens that bind a challenge to one browser.
#include <cstdint>
#include <optional>
#include <string>

namespace korvel::service {

// How long a challenge can be used after it was issued.
inline constexpr int64_t kChallengeLifetimeMs = 5 * 60 * 1000;

struct Challenge {
  std::string data;        // the text to sign
  std::string serverDate;  // decimal milliseconds since 1970, as Server_Date takes it
  int64_t issuedMs = 0;
  std::string hash;        // SHA-256 of data, lower-case hex
};

// Random bytes from OpenSSL's generator as lower-case hex; nullopt when the
// generator fails (then nothing must be issued).
std::optional<std::string> randomHex(size_t bytes);

std::string sha256Hex(const std::string& bytes);

// A new challenge for an origin at a time: 256 random bits, the origin and
// the time in one line of text.
std::optional<Challenge> makeChallenge(const std::string& origin, int64_t nowMs);

// ISO 8601 UTC with milliseconds, "2026-03-01T00:00:00.000Z".
std::string isoTime(int64_t ms);

int64_t nowMilliseconds();

// A session token as the cookie carries it: 64 lower-case hex digits.
bool isSessionToken(const std::string& text);

}  // namespace korvel::service
