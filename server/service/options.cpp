#include "server/service/options.h"

#include <cctype>

namespace korvel::service {

const char kUsage[] =
    "usage: renewal-service --trust FILE [--trust FILE]... [--crl FILE]... [--allow-sha1]\n"
    "                       [--known-key-id HEX40]... [--listen ADDR:PORT] [--tls-cert FILE --tls-key FILE]\n"
    "                       [--db FILE] [--origin https://HOST[:PORT]]\n";

namespace {

bool isDecimal(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// "127.0.0.1:8443", "localhost:8443" or "[::1]:8443"; port 0 to 65535.
bool parseListen(const std::string& text, Options& options) {
  std::string host, port;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || text.find(':') != colon) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (host.empty() || !isDecimal(port)) return false;
  int number = std::stoi(port);
  if (number > 65535) return false;
  options.listenHost = host;
  options.listenPort = number;
  return true;
}

// scheme://host[:port] with nothing after it: what browsers send as Origin.
bool isOrigin(const std::string& text) {
  std::string rest;
  if (text.rfind("https://", 0) == 0) {
    rest = text.substr(8);
  } else if (text.rfind("http://", 0) == 0) {
    rest = text.substr(7);
  } else {
    return false;
  }
  if (rest.empty()) return false;
  for (char c : rest) {
    unsigned char u = static_cast<unsigned char>(c);
    if (!(std::islower(u) || std::isdigit(u) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']')) return false;
  }
  return true;
}

}  // namespace

bool parseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error) {
  std::vector<std::string> keyIds;
  bool keyIdsGiven = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--allow-sha1") {
      options.verify.allowSha1 = true;
      continue;
    }
    static const char* const kWithValue[] = {"--listen", "--tls-cert", "--tls-key", "--db", "--trust",
                                             "--crl", "--known-key-id", "--origin"};
    bool known = false;
    for (const char* option : kWithValue) known = known || name == option;
    if (!known) {
      error = "unknown option " + name;
      return false;
    }
    if (i + 1 >= arguments.size()) {
      error = name + " needs a value";
      return false;
    }
    const std::string& value = arguments[++i];
    if (name == "--listen") {
      if (!parseListen(value, options)) {
        error = "--listen takes ADDR:PORT (port 0 to 65535), not " + value;
        return false;
      }
    } else if (name == "--tls-cert") {
      options.tlsCert = value;
    } else if (name == "--tls-key") {
      options.tlsKey = value;
    } else if (name == "--db") {
      options.database = value;
    } else if (name == "--trust") {
      options.verify.trustFiles.push_back(value);
    } else if (name == "--crl") {
      options.verify.crlFiles.push_back(value);
    } else if (name == "--known-key-id") {
      keyIds.push_back(value);
      keyIdsGiven = true;
    } else if (name == "--origin") {
      if (!isOrigin(value)) {
        error = "--origin takes scheme://host[:port] in lower case, not " + value;
        return false;
      }
      options.origin = value;
    }
  }
  if (keyIdsGiven) options.verify.knownKeyIds = keyIds;
  if (options.verify.trustFiles.empty()) {
    error = "at least one --trust FILE is needed";
    return false;
  }
  if (options.tlsCert.empty() != options.tlsKey.empty()) {
    error = "--tls-cert and --tls-key go together";
    return false;
  }
  if (options.database.empty()) {
    error = "--db needs a file name";
    return false;
  }
  return true;
}

std::string serviceOrigin(const Options& options, int boundPort) {
  if (!options.origin.empty()) return options.origin;
  bool tls = !options.tlsCert.empty();
  std::string host = options.listenHost;
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  std::string origin = (tls ? "https://" : "http://") + host;
  if (boundPort != (tls ? 443 : 80)) origin += ":" + std::to_string(boundPort);
  return origin;
}

}  // namespace korvel::service
