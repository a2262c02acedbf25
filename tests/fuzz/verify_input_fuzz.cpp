// korvel-verify's input reader: JSON, base64, DER. Whatever arrives, the
// verifier gives a verdict without crashing or reading past the input, and
// the verdict's line is one JSON object naming a known reason word.
// Input: one byte choosing the road, then the rest.
//   even: the rest is the command's JSON input, judged by verifyJson;
//   odd:  the rest is DER, given base64-encoded (CR LF lines) as both the
//         signed message and the certificate, with fixed data and time.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "server/verify/korvel_verify.h"
#include "signing/text/base64.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

const korvel::verify::Verifier& verifier() {
  static const std::unique_ptr<korvel::verify::Verifier> made = [] {
    korvel::verify::Settings settings;
    const std::string authorities = std::string(KORVEL_SOURCE_DIR) + "/tests/fixtures/authorities/";
    for (const char* name : {"valuedoor-1", "valuedoor-2", "valuedoor-3", "ro-mendal"}) {
      settings.trustFiles.push_back(authorities + name + ".pem");
    }
    std::string error;
    std::unique_ptr<korvel::verify::Verifier> verifier = korvel::verify::Verifier::create(settings, error);
    if (!verifier) fail(error.c_str());
    return verifier;
  }();
  return *made;
}

std::string base64Lines(const uint8_t* data, size_t size) {
  const size_t length = korvel::base64TextLength(size);
  std::vector<wchar_t> text(length + 1);
  size_t written = 0;
  if (!korvel::encodeBase64(data, size, text.data(), text.size(), &written)) fail("base64 does not fit");
  return std::string(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(written));
}

void checkVerdict(const korvel::verify::Verdict& verdict) {
  const std::string line = korvel::verify::verdictJson(verdict);
  const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
  if (!parsed.is_object() || !parsed.contains("ok")) fail("verdict line is no JSON object");
  if (!verdict.ok && parsed["reason"] != korvel::verify::reasonWord(verdict.reason)) fail("reason word lost");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t road = data[0];
  const uint8_t* rest = data + 1;
  const size_t restSize = size - 1;
  if (road % 2 == 0) {
    // An allocation of the exact size, so that a read past the end shows.
    std::unique_ptr<char[]> json(new char[restSize]);
    std::copy(rest, rest + restSize, json.get());
    checkVerdict(verifier().verifyJson(std::string_view(json.get(), restSize)));
  } else {
    const std::string text = base64Lines(rest, restSize);
    korvel::verify::Renewal renewal{text, text, "\xe6\x9b\xb4\xe6\x96\xb0 renewal", "1772323200000"};
    const korvel::verify::Verdict verdict = verifier().verify(renewal);
    checkVerdict(verdict);
  }
  return 0;
}
