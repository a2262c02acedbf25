#pragma once
// The renewal service's HTTP endpoints on a cpp-httplib server.
#include <string>

#include "server/service/store.h"
#include "server/verify/korvel_verify.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}

namespace korvel::service {

// The largest request body read; a larger one is answered 400 "too-large".
inline constexpr size_t kLargestBodyBytes = 1024 * 1024;

class RenewalService {
 public:
  RenewalService(const korvel::verify::Verifier& verifier, Store& store, std::string origin)
      : verifier_(verifier), store_(store), origin_(std::move(origin)) {}

  // Routes, limits and the headers of every answer.
  void install(httplib::Server& server);

 private:
  void challenge(const httplib::Request& request, httplib::Response& response);
  void renew(const httplib::Request& request, httplib::Response& response);
  bool fromOtherOrigin(const httplib::Request& request) const;

  const korvel::verify::Verifier& verifier_;
  Store& store_;
  const std::string origin_;
};

}  // namespace korvel::service
