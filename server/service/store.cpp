#include "server/service/store.h"

#include <sqlite3.h>

namespace korvel::service {

namespace {

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS challenges ("
    "  id INTEGER PRIMARY KEY,"
    "  session_hash TEXT NOT NULL,"
    "  data TEXT NOT NULL,"
    "  server_date TEXT NOT NULL,"
    "  issued_ms INTEGER NOT NULL,"
    "  used_ms INTEGER,"
    "  hash TEXT NOT NULL UNIQUE);"
    "CREATE INDEX IF NOT EXISTS challenges_by_session ON challenges(session_hash, id);"
    "CREATE INDEX IF NOT EXISTS challenges_by_age ON challenges(issued_ms);"
    "CREATE TABLE IF NOT EXISTS renewals ("
    "  id INTEGER PRIMARY KEY,"
    "  serial TEXT NOT NULL,"
    "  subject TEXT NOT NULL,"
    "  issuer TEXT NOT NULL,"
    "  not_after TEXT NOT NULL,"
    "  approved_at TEXT NOT NULL,"
    "  challenge_hash TEXT NOT NULL UNIQUE);";

constexpr int64_t kChallengeKeptMs = 24 * 60 * 60 * 1000;

// One prepared statement, finalized on every path.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return statement_ != nullptr; }
  Statement& text(int index, const std::string& value) {
    sqlite3_bind_text(statement_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& number(int index, int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  int step() { return ok() ? sqlite3_step(statement_) : SQLITE_ERROR; }
  std::string columnText(int index) {
    const unsigned char* value = sqlite3_column_text(statement_, index);
    return value ? std::string(reinterpret_cast<const char*>(value), sqlite3_column_bytes(statement_, index)) : "";
  }
  int64_t columnNumber(int index) { return sqlite3_column_int64(statement_, index); }
  bool columnIsNull(int index) { return sqlite3_column_type(statement_, index) == SQLITE_NULL; }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace

std::unique_ptr<Store> Store::open(const std::string& path, std::string& error) {
  sqlite3* db = nullptr;
  int status = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                               nullptr);
  std::unique_ptr<Store> store(new Store(db));
  if (status != SQLITE_OK) {
    error = "cannot open the database " + path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(status));
    return nullptr;
  }
  sqlite3_busy_timeout(db, 10000);
  // WAL lets readers (an operator's sqlite3) look while the service writes.
  // Challenges are committed without a sync of their own (a challenge lost
  // to a power cut is only asked again); an approval is synced (recordApproval).
  if (!store->execute("PRAGMA journal_mode=WAL;") || !store->execute("PRAGMA synchronous=NORMAL;") ||
      !store->execute(kSchema)) {
    error = "cannot set up the database " + path + ": " + sqlite3_errmsg(db);
    return nullptr;
  }
  return store;
}

Store::~Store() { sqlite3_close(db_); }

bool Store::execute(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool Store::addChallenge(const std::string& sessionHash, const Challenge& challenge) {
  std::lock_guard<std::mutex> hold(lock_);
  Statement forget(db_, "DELETE FROM challenges WHERE issued_ms < ?");
  forget.number(1, challenge.issuedMs - kChallengeKeptMs).step();
  Statement insert(db_,
                   "INSERT INTO challenges (session_hash, data, server_date, issued_ms, hash) VALUES (?, ?, ?, ?, ?)");
  insert.text(1, sessionHash).text(2, challenge.data).text(3, challenge.serverDate).number(4, challenge.issuedMs);
  insert.text(5, challenge.hash);
  return insert.step() == SQLITE_DONE;
}

Claim Store::claimChallenge(const std::string& sessionHash, int64_t nowMs, Challenge& challenge) {
  std::lock_guard<std::mutex> hold(lock_);
  // IMMEDIATE: a second service process on the same file waits instead of
  // claiming the same challenge.
  if (!execute("BEGIN IMMEDIATE")) return Claim::kFailed;
  Claim claim = claimLocked(sessionHash, nowMs, challenge);
  if (claim == Claim::kClaimed) {
    if (!execute("COMMIT")) {
      execute("ROLLBACK");
      return Claim::kFailed;
    }
  } else {
    execute("ROLLBACK");
  }
  return claim;
}

Claim Store::claimLocked(const std::string& sessionHash, int64_t nowMs, Challenge& challenge) {
  Statement newest(db_,
                   "SELECT id, data, server_date, issued_ms, used_ms, hash FROM challenges "
                   "WHERE session_hash = ? ORDER BY id DESC LIMIT 1");
  newest.text(1, sessionHash);
  int status = newest.step();
  if (status == SQLITE_DONE) return Claim::kNoChallenge;
  if (status != SQLITE_ROW) return Claim::kFailed;
  int64_t id = newest.columnNumber(0);
  challenge.data = newest.columnText(1);
  challenge.serverDate = newest.columnText(2);
  challenge.issuedMs = newest.columnNumber(3);
  challenge.hash = newest.columnText(5);
  if (!newest.columnIsNull(4)) return Claim::kUsed;
  if (nowMs - challenge.issuedMs > kChallengeLifetimeMs) return Claim::kExpired;
  Statement use(db_, "UPDATE challenges SET used_ms = ? WHERE id = ? AND used_ms IS NULL");
  use.number(1, nowMs).number(2, id);
  if (use.step() != SQLITE_DONE || sqlite3_changes(db_) != 1) return Claim::kFailed;
  return Claim::kClaimed;
}

// The approval's commit syncs the log to disk before the answer goes out;
// the log is written in order, so the claim of its challenge is on disk too.
bool Store::recordApproval(const ApprovalRow& row) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!execute("PRAGMA synchronous=FULL;")) return false;
  Statement insert(db_,
                   "INSERT INTO renewals (serial, subject, issuer, not_after, approved_at, challenge_hash) "
                   "VALUES (?, ?, ?, ?, ?, ?)");
  insert.text(1, row.serial).text(2, row.subject).text(3, row.issuer).text(4, row.notAfter);
  insert.text(5, row.approvedAt).text(6, row.challengeHash);
  bool written = insert.step() == SQLITE_DONE;
  execute("PRAGMA synchronous=NORMAL;");
  return written;
}

}  // namespace korvel::service
