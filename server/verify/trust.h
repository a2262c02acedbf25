#pragma once
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "server/verify/openssl_handles.h"

namespace korvel::verify {

// The --trust certificates and the --crl lists signed by them. Read-only
// once loaded, so any number of threads may judge with it at once.
class TrustAnchors {
 public:
  // False, with `error` naming the file, when a file cannot be read, holds no
  // certificate (no CRL), or a CRL is signed by none of the trust certificates.
  bool load(const std::vector<std::string>& trustFiles, const std::vector<std::string>& crlFiles, std::string& error);

  // Path validation as OpenSSL does it against these certificates only, with
  // `untrusted` as the intermediates on offer, except that the end
  // certificate's own validity period is not judged by the clock. Gives the
  // end certificate's issuer from the validated path (null when false).
  bool validate(X509* certificate, STACK_OF(X509) * untrusted, UniqueCertificate* issuer) const;

  // True when a loaded CRL of `issuer` (its name, and signed by that very
  // certificate) lists the certificate.
  bool revoked(X509* certificate, X509* issuer) const;

 private:
  struct Crl {
    UniqueCrl list;
    std::vector<X509*> signers;  // trust certificates whose key signed it
  };
  bool loadTrustFile(const std::string& file, std::string& error);
  bool loadCrlFile(const std::string& file, std::string& error);

  UniqueStore store_;
  std::vector<UniqueCertificate> anchors_;
  std::vector<Crl> crls_;
};

}  // namespace korvel::verify
