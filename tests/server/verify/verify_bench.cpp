// Verifications per second of this thread's processor time (so per core,
// whatever else the machine runs): the library
// on the command's JSON input, and OpenSSL's CMS_verify alone on the same
// message's DER with the same trust certificate (the floor: parsing, the
// signature and the path, nothing else). Not a test: it prints figures.
//   verify_bench SECONDS TRUST.pem INPUT.json MESSAGE.der
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <time.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "server/verify/korvel_verify.h"

namespace {

// This thread's processor time in seconds.
double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string fileText(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Runs `once` for about `seconds` of processor time and gives the runs per
// second of it; false from
// `once` stops with 0.
double perSecond(double seconds, const std::function<bool()>& once) {
  for (int i = 0; i < 50; ++i) {
    if (!once()) return 0;
  }
  long runs = 0;
  const double start = threadSeconds();
  double elapsed = 0;
  do {
    for (int i = 0; i < 100; ++i, ++runs) {
      if (!once()) return 0;
    }
    elapsed = threadSeconds() - start;
  } while (elapsed < seconds);
  return runs / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: verify_bench SECONDS TRUST.pem INPUT.json MESSAGE.der\n");
    return 2;
  }
  const double seconds = std::stod(argv[1]);
  const std::string json = fileText(argv[3]);
  const std::string der = fileText(argv[4]);

  korvel::verify::Settings settings;
  settings.trustFiles = {argv[2]};
  std::string error;
  std::unique_ptr<korvel::verify::Verifier> verifier = korvel::verify::Verifier::create(settings, error);
  if (!verifier) {
    std::fprintf(stderr, "verify_bench: %s\n", error.c_str());
    return 2;
  }
  const double library = perSecond(seconds, [&] { return verifier->verifyJson(json).ok; });

  X509_STORE* store = X509_STORE_new();
  BIO* trust = BIO_new_file(argv[2], "r");
  X509* anchor = PEM_read_bio_X509(trust, nullptr, nullptr, nullptr);
  X509_STORE_add_cert(store, anchor);
  const double floor = perSecond(seconds, [&] {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    CMS_ContentInfo* cms = d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(der.size()));
    const bool ok = cms != nullptr && CMS_verify(cms, nullptr, store, nullptr, nullptr, CMS_BINARY) == 1;
    CMS_ContentInfo_free(cms);
    if (!ok) ERR_print_errors_fp(stderr);
    return ok;
  });
  X509_free(anchor);
  BIO_free(trust);
  X509_STORE_free(store);

  if (library == 0 || floor == 0) {
    std::fprintf(stderr, "verify_bench: the message does not verify\n");
    return 1;
  }
  std::printf("library (korvel_verify, JSON input)   %9.0f verifications/s  %7.1f us each\n", library, 1e6 / library);
  std::printf("floor (d2i + CMS_verify on the DER)   %9.0f verifications/s  %7.1f us each\n", floor, 1e6 / floor);
  std::printf("library time / floor time             %9.2f\n", floor / library);
  return 0;
}
