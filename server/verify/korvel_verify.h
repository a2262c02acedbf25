#pragma once
// korvel-verify: judges a renewal as the service's automatic approval must.
// One public header; the command (server/verify/korvel_verify_main.cpp) and
// the reference renewal service are built on it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::verify {

// The largest input judged at all; a larger one is refused as "too-large".
inline constexpr size_t kLargestInputBytes = 1024 * 1024;

// What a renewal is refused for, in the order the checks run. The words are
// the command's and the service's contract: see reasonWord().
enum class Reason {
  kTooLarge,         // too-large
  kMalformed,        // malformed
  kWeakDigest,       // weak-digest
  kContentMismatch,  // content-mismatch
  kSignerMismatch,   // signer-mismatch
  kBadSignature,     // bad-signature
  kUntrusted,        // untrusted
  kRevoked,          // revoked
  kNotEligible,      // not-eligible
  kOutsideWindow,    // outside-window
};
const char* reasonWord(Reason reason);

// What the page sent and the service asked for.
struct Renewal {
  std::string issuerDN;    // the signed message, base64 as the page read it
  std::string certData;    // the signer's certificate, base64
  std::string data;        // the text the service asked the page to sign (UTF-8)
  std::string serverDate;  // the server time as the page put Server_Date
};

// The certificate of an approved renewal.
struct Approval {
  std::string subject;   // RFC 4514
  std::string serial;    // upper-case hexadecimal, most significant first
  std::string notAfter;  // ISO 8601 UTC, "2026-03-01T00:00:00Z"
  std::string issuer;    // RFC 4514
};

struct Verdict {
  bool ok = false;
  Reason reason = Reason::kMalformed;  // when !ok
  Approval approval;                   // when ok
};

struct Settings {
  std::vector<std::string> trustFiles;  // PEM (or DER) certificates
  std::vector<std::string> crlFiles;    // PEM (or DER) CRLs
  bool allowSha1 = false;
  // 40 hexadecimal digits each; nullopt: the build's KORVEL_AUTHORITY_KEY_ID_1..3.
  std::optional<std::vector<std::string>> knownKeyIds;
};

// Loaded trust anchors, CRLs and rules; judges any number of renewals, from
// any number of threads at once.
class Verifier {
 public:
  // nullptr with `error` set (a message naming the file) when a file cannot
  // be read or holds nothing usable, or a key identifier is not 40 hex digits.
  static std::unique_ptr<Verifier> create(const Settings& settings, std::string& error);
  virtual ~Verifier() = default;

  virtual Verdict verify(const Renewal& renewal) const = 0;
  // Reads the command's input, one JSON object {"issuerDN", "certData",
  // "data", "serverDate"}, and judges it (too-large and malformed included).
  virtual Verdict verifyJson(std::string_view json) const = 0;
};

// The command's output line for a verdict (no line end).
std::string verdictJson(const Verdict& verdict);

}  // namespace korvel::verify
