// Load client for renewal-service: many concurrent clients, renewals signed
// in this process with OpenSSL (CMS, as the control's messages are), replays
// and malformed bodies among them; checks every answer and the database, and
// prints the rates. A benchmark and a check: no timed assertions.
//   renewal-load --port P --tls-ca FILE --db FILE --key FILE --cert FILE.pem... [--clients 16]
//                [--renewals 1000] [--replays 200] [--malformed 100] [--restart-command CMD]
// Exit status 0 when every check held ("LOAD: passed").
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sqlite3.h>

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

struct Settings {
  int port = 0;
  std::string tlsCa, database, key, restartCommand;
  std::vector<std::string> certs;
  int clients = 16, renewals = 1000, replays = 200, malformed = 100;
};

struct Signer {
  X509* cert = nullptr;
  EVP_PKEY* key = nullptr;
  std::string certBase64;
};

// One challenge and, once signed, the renewal request for it.
struct Renewal {
  std::string cookie, data, serverDate, hash;
  std::string body;  // {"issuerDN", "certData"}
  std::atomic<int> approvals{0};
};

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void die(const std::string& message) {
  std::printf("LOAD: FAIL: %s\n", message.c_str());
  std::exit(1);
}

// base64 with CR LF after every 64 characters, the last line too.
std::string platformBase64(const std::string& bytes) {
  std::string flat(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(flat.data()),
                               reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  flat.resize(length);
  std::string text;
  for (size_t at = 0; at < flat.size(); at += 64) text += flat.substr(at, 64) + "\r\n";
  return text;
}

std::string sha256Hex(const std::string& text) {
  unsigned char digest[32];
  EVP_Digest(text.data(), text.size(), digest, nullptr, EVP_sha256(), nullptr);
  char hex[65];
  for (int i = 0; i < 32; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return std::string(hex, 64);
}

// UTF-16LE of a UTF-8 text (the challenge texts are ASCII; others are
// carried as code units of the basic plane, enough for a load client).
std::string utf16le(const std::string& text) {
  std::string bytes;
  for (unsigned char c : text) {
    bytes += static_cast<char>(c);
    bytes += '\0';
  }
  return bytes;
}

Signer loadSigner(const std::string& certFile, EVP_PKEY* key) {
  Signer signer;
  FILE* file = std::fopen(certFile.c_str(), "r");
  if (!file) die("cannot read " + certFile);
  signer.cert = PEM_read_X509(file, nullptr, nullptr, nullptr);
  std::fclose(file);
  if (!signer.cert) die(certFile + " holds no certificate");
  signer.key = key;
  unsigned char* der = nullptr;
  int length = i2d_X509(signer.cert, &der);
  signer.certBase64 = platformBase64(std::string(reinterpret_cast<char*>(der), length));
  OPENSSL_free(der);
  return signer;
}

// The signed message over the UTF-16LE bytes of the text, content inside;
// every other one without signed attributes (both forms are the control's).
std::string signedMessage(const Signer& signer, const std::string& text, bool withAttributes) {
  std::string content = utf16le(text);
  BIO* input = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
  unsigned flags = CMS_BINARY | (withAttributes ? 0 : CMS_NOATTR);
  CMS_ContentInfo* message = CMS_sign(signer.cert, signer.key, nullptr, input, flags);
  BIO_free(input);
  if (!message) die("CMS_sign failed");
  unsigned char* der = nullptr;
  int length = i2d_CMS_ContentInfo(message, &der);
  CMS_ContentInfo_free(message);
  std::string bytes(reinterpret_cast<char*>(der), length);
  OPENSSL_free(der);
  return platformBase64(bytes);
}

std::unique_ptr<httplib::SSLClient> connect(const Settings& settings) {
  auto client = std::make_unique<httplib::SSLClient>("127.0.0.1", settings.port);
  client->set_ca_cert_path(settings.tlsCa.c_str());
  client->enable_server_certificate_verification(true);
  client->set_keep_alive(true);
  client->set_tcp_nodelay(true);
  client->set_read_timeout(60, 0);
  client->set_write_timeout(60, 0);
  return client;
}

// POST /challenge; fills the renewal's challenge fields.
void fetchChallenge(httplib::SSLClient& client, Renewal& renewal) {
  httplib::Result result = client.Post("/challenge", "{}", "application/json");
  if (!result || result->status != 200) die("POST /challenge failed");
  json answer = json::parse(result->body);
  renewal.data = answer["data"];
  renewal.serverDate = answer["serverDate"];
  renewal.cookie = result->get_header_value("Set-Cookie").substr(0, result->get_header_value("Set-Cookie").find(';'));
  renewal.hash = sha256Hex(renewal.data);
}

// Runs `count` tasks on `clients` threads, each thread with its own
// keep-alive connection.
void runConcurrently(const Settings& settings, size_t count,
                     const std::function<void(httplib::SSLClient&, size_t)>& task) {
  std::atomic<size_t> next{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < settings.clients; ++t) {
    threads.emplace_back([&] {
      std::unique_ptr<httplib::SSLClient> client = connect(settings);
      for (size_t i = next++; i < count; i = next++) task(*client, i);
    });
  }
  for (std::thread& thread : threads) thread.join();
}

struct Answer {
  int status = 0;
  json body;
};

Answer post(httplib::SSLClient& client, const std::string& path, const std::string& body, const std::string& cookie) {
  httplib::Headers headers;
  if (!cookie.empty()) headers.emplace("Cookie", cookie);
  httplib::Result result = client.Post(path.c_str(), headers, body, "application/json");
  if (!result) return {};
  Answer answer{result->status, json::parse(result->body, nullptr, false)};
  return answer;
}

std::string reasonOf(const Answer& answer) {
  if (!answer.body.is_object() || !answer.body.contains("reason")) return "";
  return answer.body["reason"].get<std::string>();
}

// The challenge hashes of the approved renewals in the database.
std::multiset<std::string> approvedHashes(const std::string& database) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) die("cannot open " + database);
  std::multiset<std::string> hashes;
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, "SELECT challenge_hash FROM renewals", -1, &statement, nullptr);
  while (statement && sqlite3_step(statement) == SQLITE_ROW) {
    hashes.insert(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return hashes;
}

Settings parseSettings(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i], value = argv[i + 1];
    if (name == "--port") settings.port = std::atoi(value.c_str());
    else if (name == "--tls-ca") settings.tlsCa = value;
    else if (name == "--db") settings.database = value;
    else if (name == "--key") settings.key = value;
    else if (name == "--cert") settings.certs.push_back(value);
    else if (name == "--clients") settings.clients = std::atoi(value.c_str());
    else if (name == "--renewals") settings.renewals = std::atoi(value.c_str());
    else if (name == "--replays") settings.replays = std::atoi(value.c_str());
    else if (name == "--malformed") settings.malformed = std::atoi(value.c_str());
    else if (name == "--restart-command") settings.restartCommand = value;
    else die("unknown option " + name);
  }
  if (settings.port == 0 || settings.tlsCa.empty() || settings.database.empty() || settings.key.empty() ||
      settings.certs.empty()) {
    die("--port, --tls-ca, --db, --key and --cert are needed");
  }
  return settings;
}

// The malformed bodies: each kind is refused without using a challenge up
// (status 400) or, for bytes that are JSON but no signed message, judged
// "malformed" against a challenge of its own.
struct Malformed {
  std::string body, cookie;
  int status;
  std::string reason;
};

}  // namespace

int main(int argc, char** argv) {
  Settings settings = parseSettings(argc, argv);
  FILE* keyFile = std::fopen(settings.key.c_str(), "r");
  if (!keyFile) die("cannot read " + settings.key);
  EVP_PKEY* key = PEM_read_PrivateKey(keyFile, nullptr, nullptr, nullptr);
  std::fclose(keyFile);
  if (!key) die(settings.key + " holds no key");
  std::vector<Signer> signers;
  for (const std::string& cert : settings.certs) signers.push_back(loadSigner(cert, key));

  const size_t renewalCount = settings.renewals;
  const size_t judgedMalformed = settings.malformed / 4;  // these need challenges of their own
  const size_t freshForReplays = settings.replays / 4;    // a replay in another session needs one too
  std::vector<Renewal> renewals(renewalCount + judgedMalformed + freshForReplays);

  Clock::time_point start = Clock::now();
  runConcurrently(settings, renewals.size(), [&](httplib::SSLClient& client, size_t i) {
    fetchChallenge(client, renewals[i]);
  });
  double challengeSeconds = secondsSince(start);
  std::printf("LOAD: %d clients; %zu challenges in %.2f s (%.0f/s)\n", settings.clients, renewals.size(),
              challengeSeconds, renewals.size() / challengeSeconds);

  if (!settings.restartCommand.empty()) {
    if (std::system(settings.restartCommand.c_str()) != 0) die("the restart command failed");
    std::printf("LOAD: service restarted between the challenges and the renewals\n");
  }

  start = Clock::now();
  for (size_t i = 0; i < renewalCount; ++i) {
    const Signer& signer = signers[i % signers.size()];
    renewals[i].body = json{{"issuerDN", signedMessage(signer, renewals[i].data, i % 2 == 0)},
                            {"certData", signer.certBase64}}.dump();
  }
  std::printf("LOAD: signed %zu renewals in this process in %.2f s (%.0f/s)\n", renewalCount, secondsSince(start),
              renewalCount / secondsSince(start));

  std::vector<Malformed> malformed;
  std::string tooLarge(1024 * 1024 + 1, 'A');
  for (int i = 0; i < settings.malformed; ++i) {
    const std::string& cookie = renewals[i % renewalCount].cookie;  // a 400 must not use it up
    switch (i % 4) {
      case 0: malformed.push_back({"{\"issuerDN\": \"MII", cookie, 400, "malformed"}); break;
      case 1: malformed.push_back({"{\"issuerDN\": 1, \"certData\": []}", cookie, 400, "malformed"}); break;
      case 2:
        malformed.push_back({i % 20 == 2 ? tooLarge : "[\"issuerDN\", \"certData\"]", cookie, 400,
                             i % 20 == 2 ? "too-large" : "malformed"});
        break;
      default:
        malformed.push_back({json{{"issuerDN", "not base64 at all!"}, {"certData", signers[0].certBase64}}.dump(),
                             renewals[renewalCount + i / 4].cookie, 200, "malformed"});
    }
  }

  // The work: every renewal, every malformed body and every replay, shuffled.
  // A replay sends again a request that was already approved: in its own
  // session (challenge-used), without a session (no-challenge), or in a
  // fresh session (content-mismatch).
  enum Kind { kRenewal, kMalformed, kReplay };
  std::vector<std::pair<Kind, size_t>> jobs;
  for (size_t i = 0; i < renewalCount; ++i) jobs.push_back({kRenewal, i});
  for (size_t i = 0; i < malformed.size(); ++i) jobs.push_back({kMalformed, i});
  for (int i = 0; i < settings.replays; ++i) jobs.push_back({kReplay, static_cast<size_t>(i)});
  std::mt19937 random(23);
  std::shuffle(jobs.begin(), jobs.end(), random);

  std::mutex approvedLock;
  std::vector<size_t> approved;  // renewals approved so far, for the replays
  std::atomic<int> replayedApprovals{0}, wrongAnswers{0}, refusedReplays{0}, refusedMalformed{0};
  std::mutex problemLock;
  std::map<std::string, int> problems;
  auto problem = [&](const std::string& what) {
    std::lock_guard<std::mutex> hold(problemLock);
    problems[what]++;
    wrongAnswers++;
  };
  auto takeApproved = [&](size_t n) -> size_t {
    for (;;) {
      {
        std::lock_guard<std::mutex> hold(approvedLock);
        if (!approved.empty()) return approved[n % approved.size()];
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  };

  start = Clock::now();
  runConcurrently(settings, jobs.size(), [&](httplib::SSLClient& client, size_t j) {
    auto [kind, i] = jobs[j];
    if (kind == kRenewal) {
      Renewal& renewal = renewals[i];
      Answer answer = post(client, "/renew", renewal.body, renewal.cookie);
      if (answer.status == 200 && answer.body.value("approved", false)) {
        renewal.approvals++;
        std::lock_guard<std::mutex> hold(approvedLock);
        approved.push_back(i);
      } else {
        problem("renewal refused: " + std::to_string(answer.status) + " " + reasonOf(answer));
      }
    } else if (kind == kMalformed) {
      const Malformed& bad = malformed[i];
      Answer answer = post(client, "/renew", bad.body, bad.cookie);
      if (answer.status == bad.status && reasonOf(answer) == bad.reason) refusedMalformed++;
      else problem("malformed body answered " + std::to_string(answer.status) + " " + reasonOf(answer));
    } else {
      size_t original = takeApproved(i);
      std::string cookie, expected;
      switch (i % 4) {
        case 0: case 1: cookie = renewals[original].cookie; expected = "challenge-used"; break;
        case 2: expected = "no-challenge"; break;
        default: cookie = renewals[renewalCount + judgedMalformed + i / 4].cookie; expected = "content-mismatch";
      }
      Answer answer = post(client, "/renew", renewals[original].body, cookie);
      if (answer.status == 200 && answer.body.value("approved", false)) replayedApprovals++;
      if (answer.status == 200 && reasonOf(answer) == expected) refusedReplays++;
      else problem("replay answered " + std::to_string(answer.status) + " " + reasonOf(answer) + ", not " + expected);
    }
  });
  double loadSeconds = secondsSince(start);
  std::printf("LOAD: %zu renewals, %d replays and %zu malformed bodies from %d clients in %.2f s: "
              "%.0f renewals/s (%.0f requests/s)\n",
              renewalCount, settings.replays, malformed.size(), settings.clients, loadSeconds,
              renewalCount / loadSeconds, jobs.size() / loadSeconds);

  bool passed = wrongAnswers == 0 && replayedApprovals == 0;
  size_t approvedOnce = 0;
  std::multiset<std::string> expectedHashes;
  for (size_t i = 0; i < renewalCount; ++i) {
    if (renewals[i].approvals == 1) approvedOnce++;
    expectedHashes.insert(renewals[i].hash);
  }
  std::printf("LOAD: approved once: %zu of %zu; replays refused: %d of %d; malformed refused: %d of %zu\n",
              approvedOnce, renewalCount, refusedReplays.load(), settings.replays, refusedMalformed.load(),
              malformed.size());
  for (const auto& [what, count] : problems) std::printf("LOAD: FAIL: %dx %s\n", count, what.c_str());
  passed = passed && approvedOnce == renewalCount;

  std::multiset<std::string> rows = approvedHashes(settings.database);
  bool rowsMatch = rows == expectedHashes;
  std::printf("LOAD: database rows: %zu, %s\n", rows.size(),
              rowsMatch ? "exactly the approvals" : "NOT the approvals");
  passed = passed && rowsMatch;

  std::unique_ptr<httplib::SSLClient> client = connect(settings);
  httplib::Result page = client->Get("/");
  bool answering = page && page->status == 200;
  std::printf("LOAD: the service %s\n", answering ? "still answers" : "does NOT answer");
  passed = passed && answering;
  std::printf("LOAD: %s\n", passed ? "passed" : "failed");
  EVP_PKEY_free(key);
  for (Signer& signer : signers) X509_free(signer.cert);
  return passed ? 0 : 1;
}
