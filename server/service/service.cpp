#include "server/service/service.h"

#include <cstdio>
#include <string_view>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "server/service/page_files.h"

namespace korvel::service {

namespace {

using nlohmann::json;

const char kSessionCookie[] = "korvel-session";

// Scripts, styles and requests from this origin only; no frames, no forms,
// no plugins.
const char kPagePolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; img-src 'self'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

void sendJson(httplib::Response& response, int status, const json& body) {
  response.status = status;
  response.set_content(body.dump(-1, ' ', false, json::error_handler_t::replace), "application/json; charset=utf-8");
}

void refuse(httplib::Response& response, int status, const char* reason) {
  sendJson(response, status, {{"approved", false}, {"reason", reason}});
}

// The value of one cookie of the request, or "".
std::string cookieValue(const httplib::Request& request, std::string_view name) {
  std::string header = request.get_header_value("Cookie");
  size_t at = 0;
  while (at < header.size()) {
    size_t end = header.find(';', at);
    if (end == std::string::npos) end = header.size();
    std::string_view pair(header.data() + at, end - at);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == name) return std::string(pair.substr(equals + 1));
    at = end + 1;
  }
  return "";
}

// The challenge body: empty, or the empty object.
bool isEmptyRequest(const std::string& body) {
  if (body.find_first_not_of(" \t\r\n") == std::string::npos) return true;
  json parsed = json::parse(body, nullptr, false);
  return parsed.is_object() && parsed.empty();
}

void servePageFile(const EmbeddedFile& file, httplib::Response& response) {
  response.set_content(reinterpret_cast<const char*>(file.bytes), file.size, file.contentType);
  if (std::string_view(file.contentType).rfind("text/html", 0) == 0) {
    response.set_header("Content-Security-Policy", kPagePolicy);
  }
}

}  // namespace

void RenewalService::install(httplib::Server& server) {
  server.set_payload_max_length(kLargestBodyBytes);
  // A page makes two requests per renewal, a service behind a proxy many:
  // keep connections for more than httplib's default of 5 requests.
  server.set_keep_alive_max_count(100);
  server.set_tcp_nodelay(true);
  server.set_post_routing_handler([this](const httplib::Request&, httplib::Response& response) {
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("X-Frame-Options", "DENY");
    response.set_header("Referrer-Policy", "no-referrer");
    response.set_header("Cache-Control", "no-store");
    response.set_header("Cross-Origin-Opener-Policy", "same-origin");
    response.set_header("Cross-Origin-Resource-Policy", "same-origin");
  });
  // httplib answers a body over the limit with 413 before any handler; the
  // service's answer is 400 with the reason. Other errors get a JSON body too.
  server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.status == 413) {
      refuse(response, 400, "too-large");
    } else if (response.body.empty()) {
      sendJson(response, response.status,
               {{"error", response.status == 404 ? std::string("not-found") : "http-" + std::to_string(response.status)}});
    }
  });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
    sendJson(response, 500, {{"error", "internal"}});
  });
  for (size_t i = 0; i < kEmbeddedFileCount; ++i) {
    const EmbeddedFile& file = kEmbeddedFiles[i];
    server.Get(file.urlPath, [&file](const httplib::Request&, httplib::Response& response) {
      servePageFile(file, response);
    });
  }
  server.Post("/challenge", [this](const httplib::Request& request, httplib::Response& response) {
    challenge(request, response);
  });
  server.Post("/renew", [this](const httplib::Request& request, httplib::Response& response) {
    renew(request, response);
  });
}

// Browsers send Origin with every POST; a page of another origin gets
// nothing (requests without Origin are programs, not pages).
bool RenewalService::fromOtherOrigin(const httplib::Request& request) const {
  return request.has_header("Origin") && request.get_header_value("Origin") != origin_;
}

void RenewalService::challenge(const httplib::Request& request, httplib::Response& response) {
  if (fromOtherOrigin(request)) return sendJson(response, 403, {{"reason", "origin-not-allowed"}});
  if (!isEmptyRequest(request.body)) return sendJson(response, 400, {{"reason", "malformed"}});
  // Every challenge has a session of its own: the cookie is the browser's
  // claim to that one challenge, and no earlier cookie is taken over.
  std::optional<std::string> session = randomHex(32);
  std::optional<Challenge> issued = makeChallenge(origin_, nowMilliseconds());
  if (!session || !issued || !store_.addChallenge(sha256Hex(*session), *issued)) {
    return sendJson(response, 500, {{"error", "cannot issue a challenge"}});
  }
  std::string cookie = std::string(kSessionCookie) + "=" + *session + "; Path=/; HttpOnly; SameSite=Strict";
  if (origin_.rfind("https://", 0) == 0) cookie += "; Secure";
  response.set_header("Set-Cookie", cookie);
  sendJson(response, 200, {{"data", issued->data}, {"serverDate", issued->serverDate}});
}

void RenewalService::renew(const httplib::Request& request, httplib::Response& response) {
  if (fromOtherOrigin(request)) return refuse(response, 403, "origin-not-allowed");
  json body = json::parse(request.body, nullptr, false);
  if (!body.is_object() || !body.contains("issuerDN") || !body["issuerDN"].is_string() ||
      !body.contains("certData") || !body["certData"].is_string()) {
    return refuse(response, 400, "malformed");
  }
  std::string session = cookieValue(request, kSessionCookie);
  if (!isSessionToken(session)) return refuse(response, 200, "no-challenge");
  Challenge challenge;
  switch (store_.claimChallenge(sha256Hex(session), nowMilliseconds(), challenge)) {
    case Claim::kClaimed: break;
    case Claim::kNoChallenge: return refuse(response, 200, "no-challenge");
    case Claim::kExpired: return refuse(response, 200, "challenge-expired");
    case Claim::kUsed: return refuse(response, 200, "challenge-used");
    case Claim::kFailed: return sendJson(response, 500, {{"error", "database"}});
  }
  korvel::verify::Renewal renewal{body["issuerDN"].get<std::string>(), body["certData"].get<std::string>(),
                                  challenge.data, challenge.serverDate};
  korvel::verify::Verdict verdict = verifier_.verify(renewal);
  if (!verdict.ok) {
    std::printf("renewal-service: refused %s (challenge %.16s)\n", korvel::verify::reasonWord(verdict.reason),
                challenge.hash.c_str());
    return refuse(response, 200, korvel::verify::reasonWord(verdict.reason));
  }
  const korvel::verify::Approval& approval = verdict.approval;
  ApprovalRow row{approval.serial, approval.subject, approval.issuer, approval.notAfter,
                  isoTime(nowMilliseconds()), challenge.hash};
  if (!store_.recordApproval(row)) return sendJson(response, 500, {{"error", "database"}});
  std::printf("renewal-service: approved serial %s subject %s (challenge %.16s)\n", approval.serial.c_str(),
              approval.subject.c_str(), challenge.hash.c_str());
  sendJson(response, 200, {{"approved", true}, {"serial", approval.serial}, {"subject", approval.subject}});
}

}  // namespace korvel::service
