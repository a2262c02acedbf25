#include "server/service/challenge.h"

#include <chrono>
#include <ctime>

#include <openssl/evp.h>
#include <openssl/rand.h>

namespace korvel::service {

namespace {

std::string hexOf(const unsigned char* bytes, size_t count) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

}  // namespace

std::optional<std::string> randomHex(size_t count) {
  std::string bytes(count, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) != 1) return std::nullopt;
  return hexOf(reinterpret_cast<const unsigned char*>(bytes.data()), count);
}

std::string sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  return hexOf(digest, length);
}

std::string isoTime(int64_t ms) {
  time_t seconds = static_cast<time_t>(ms / 1000);
  struct tm parts {};
  gmtime_r(&seconds, &parts);
  char text[64];
  snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900, parts.tm_mon + 1,
           parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<int>(ms % 1000));
  return text;
}

int64_t nowMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::optional<Challenge> makeChallenge(const std::string& origin, int64_t nowMs) {
  std::optional<std::string> nonce = randomHex(32);
  if (!nonce) return std::nullopt;
  Challenge challenge;
  challenge.data = "KorvelTool renewal; origin=" + origin + "; issued=" + isoTime(nowMs) + "; nonce=" + *nonce;
  challenge.serverDate = std::to_string(nowMs);
  challenge.issuedMs = nowMs;
  challenge.hash = sha256Hex(challenge.data);
  return challenge;
}

bool isSessionToken(const std::string& text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace korvel::service
