#include <nlohmann/json.hpp>

#include "server/verify/korvel_verify.h"

namespace korvel::verify {
namespace {

// The text as a JSON string, quotes included; UTF-8 stays as it is.
std::string jsonString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

const char* reasonWord(Reason reason) {
  switch (reason) {
    case Reason::kTooLarge: return "too-large";
    case Reason::kMalformed: return "malformed";
    case Reason::kWeakDigest: return "weak-digest";
    case Reason::kContentMismatch: return "content-mismatch";
    case Reason::kSignerMismatch: return "signer-mismatch";
    case Reason::kBadSignature: return "bad-signature";
    case Reason::kUntrusted: return "untrusted";
    case Reason::kRevoked: return "revoked";
    case Reason::kNotEligible: return "not-eligible";
    case Reason::kOutsideWindow: return "outside-window";
  }
  return "malformed";
}

std::string verdictJson(const Verdict& verdict) {
  if (!verdict.ok) return std::string("{\"ok\": false, \"reason\": \"") + reasonWord(verdict.reason) + "\"}";
  return "{\"ok\": true, \"subject\": " + jsonString(verdict.approval.subject) +
         ", \"serial\": " + jsonString(verdict.approval.serial) +
         ", \"notAfter\": " + jsonString(verdict.approval.notAfter) + "}";
}

}  // namespace korvel::verify
