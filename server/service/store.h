#pragma once
// The service's SQLite database: the challenges it issued (so that a restart
// keeps them) and the approved renewals. One connection, one writer at a time;
// every change is committed (and synced) before the caller answers.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "server/service/challenge.h"

struct sqlite3;

namespace korvel::service {

struct ApprovalRow {
  std::string serial, subject, issuer, notAfter;
  std::string approvedAt;     // ISO 8601 UTC
  std::string challengeHash;  // SHA-256 of the signed challenge text
};

enum class Claim { kClaimed, kNoChallenge, kExpired, kUsed, kFailed };

class Store {
 public:
  // nullptr with `error` set when the file cannot be opened or set up.
  static std::unique_ptr<Store> open(const std::string& path, std::string& error);
  ~Store();

  // Keeps a new challenge as the session's current one; forgets challenges
  // issued more than a day ago.
  bool addChallenge(const std::string& sessionHash, const Challenge& challenge);

  // Takes the session's newest challenge for one renewal: it is then used,
  // whatever the verdict, so no challenge is ever judged twice.
  Claim claimChallenge(const std::string& sessionHash, int64_t nowMs, Challenge& challenge);

  // Writes the approval; false when it could not be committed (then the
  // renewal must not be approved).
  bool recordApproval(const ApprovalRow& row);

 private:
  explicit Store(sqlite3* db) : db_(db) {}
  bool execute(const char* sql);
  Claim claimLocked(const std::string& sessionHash, int64_t nowMs, Challenge& challenge);

  sqlite3* db_;
  std::mutex lock_;
};

}  // namespace korvel::service
