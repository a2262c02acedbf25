// korvel-verify: judges one renewal read from standard input.
//   korvel-verify --trust FILE [--trust FILE]... [--crl FILE]... [--allow-sha1] [--known-key-id HEX40]...
// Writes {"ok": true, ...} (exit status 0) or {"ok": false, "reason": WORD}
// (exit status 1); exit status 2 with a message on standard error when it
// cannot judge at all.
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "server/verify/korvel_verify.h"

namespace {

constexpr int kApproved = 0;
constexpr int kRefused = 1;
constexpr int kCannotJudge = 2;

const char kUsage[] =
    "usage: korvel-verify --trust FILE [--trust FILE]... [--crl FILE]... [--allow-sha1] [--known-key-id HEX40]...\n"
    "Reads one JSON object {\"issuerDN\", \"certData\", \"data\", \"serverDate\"} from standard input and writes\n"
    "{\"ok\": true, \"subject\", \"serial\", \"notAfter\"} or {\"ok\": false, \"reason\"}.\n"
    "Exit status: 0 approved, 1 refused, 2 cannot judge (bad option or trust/CRL file).\n";

int cannotJudge(const std::string& message) {
  std::fprintf(stderr, "korvel-verify: %s\n", message.c_str());
  return kCannotJudge;
}

// Reads standard input, keeping at most `keep` bytes; the rest is read and
// dropped, so that the writer never meets a closed pipe. False on a read error.
bool readInput(std::string* input, size_t keep) {
  char buffer[65536];
  size_t read;
  while ((read = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
    if (input->size() < keep) input->append(buffer, std::min(read, keep - input->size()));
  }
  return !std::ferror(stdin);
}

}  // namespace

int main(int argc, char** argv) {
  korvel::verify::Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "-h" || option == "--help") {
      std::fputs(kUsage, stdout);
      return kApproved;
    }
    if (option == "--allow-sha1") {
      settings.allowSha1 = true;
      continue;
    }
    if (option != "--trust" && option != "--crl" && option != "--known-key-id") {
      std::fputs(kUsage, stderr);
      return cannotJudge("unknown option " + option);
    }
    if (i + 1 >= argc) return cannotJudge(option + " needs a value");
    const std::string value = argv[++i];
    if (option == "--trust") {
      settings.trustFiles.push_back(value);
    } else if (option == "--crl") {
      settings.crlFiles.push_back(value);
    } else {
      if (!settings.knownKeyIds) settings.knownKeyIds.emplace();
      settings.knownKeyIds->push_back(value);
    }
  }
  if (settings.trustFiles.empty()) {
    std::fputs(kUsage, stderr);
    return cannotJudge("at least one --trust FILE is needed");
  }
  std::string error;
  std::unique_ptr<korvel::verify::Verifier> verifier = korvel::verify::Verifier::create(settings, error);
  if (!verifier) return cannotJudge(error);

  // One byte more than the largest input tells a too-large one.
  std::string input;
  if (!readInput(&input, korvel::verify::kLargestInputBytes + 1)) return cannotJudge("cannot read standard input");
  const korvel::verify::Verdict verdict = verifier->verifyJson(input);
  std::printf("%s\n", korvel::verify::verdictJson(verdict).c_str());
  if (std::fflush(stdout) != 0) return cannotJudge("cannot write standard output");
  return verdict.ok ? kApproved : kRefused;
}
