#pragma once
// The renewal service's command line.
#include <string>
#include <vector>

#include "server/verify/korvel_verify.h"

namespace korvel::service {

struct Options {
  std::string listenHost = "127.0.0.1";
  int listenPort = 8443;         // 0: any free port (printed at start)
  std::string tlsCert, tlsKey;   // both or neither; neither serves plain HTTP
  std::string database = "renewal.sqlite";
  std::string origin;            // empty: derived from the listen address
  korvel::verify::Settings verify;
};

// Reads the arguments after the program name. False with `error` set (one
// line) when an option is unknown, lacks its value or has a bad one.
bool parseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error);

// The origin the pages are served from: --origin, or scheme://host[:port]
// of the listen address (the port left out when it is the scheme's default).
std::string serviceOrigin(const Options& options, int boundPort);

extern const char kUsage[];

}  // namespace korvel::service
