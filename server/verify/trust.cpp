#include "server/verify/trust.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace korvel::verify {
namespace {

// The end certificate (depth 0) may have ended or not begun yet: the renewal
// window judges its dates. Every other error, and the dates of every
// authority on the path, stay as OpenSSL judges them.
int acceptEndCertificateDates(int ok, X509_STORE_CTX* context) {
  if (ok) return ok;
  const int error = X509_STORE_CTX_get_error(context);
  if (X509_STORE_CTX_get_error_depth(context) == 0 &&
      (error == X509_V_ERR_CERT_HAS_EXPIRED || error == X509_V_ERR_CERT_NOT_YET_VALID)) {
    return 1;
  }
  return 0;
}

// True when the file holds PEM text (a "-----BEGIN" line).
bool looksLikePem(BIO* bio) {
  char start[64] = {};
  const int read = BIO_read(bio, start, sizeof start - 1);
  BIO_reset(bio);
  return read > 0 && std::string(start, static_cast<size_t>(read)).find("-----BEGIN") != std::string::npos;
}

// Every PEM object of the kind that `read` reads; false when one is damaged.
template <typename T, typename Read>
bool readPemObjects(BIO* bio, Read read, std::vector<T*>* objects) {
  for (;;) {
    T* object = read(bio, nullptr, nullptr, nullptr);
    if (object == nullptr) break;
    objects->push_back(object);
  }
  const unsigned long last = ERR_peek_last_error();
  const bool atEnd = ERR_GET_LIB(last) == ERR_LIB_PEM && ERR_GET_REASON(last) == PEM_R_NO_START_LINE;
  ERR_clear_error();
  return atEnd;
}

enum class FileRead { kUnreadable, kDamaged, kRead };

// Every object of one kind in a PEM file, or the one object of a DER file.
// What was read is in `objects` whatever the result, for the caller to own.
template <typename T, typename ReadPem, typename ReadDer>
FileRead readObjectsFile(const std::string& file, ReadPem readPem, ReadDer readDer, std::vector<T*>* objects) {
  UniqueBio bio(BIO_new_file(file.c_str(), "rb"));
  if (!bio) {
    ERR_clear_error();
    return FileRead::kUnreadable;
  }
  if (looksLikePem(bio.get())) {
    return readPemObjects<T>(bio.get(), readPem, objects) ? FileRead::kRead : FileRead::kDamaged;
  }
  T* object = readDer(bio.get(), nullptr);
  ERR_clear_error();
  if (object == nullptr) return FileRead::kDamaged;
  objects->push_back(object);
  return FileRead::kRead;
}

bool keyMaySignCrls(X509* certificate) {
  const uint32_t usage = X509_get_key_usage(certificate);
  return usage == UINT32_MAX || (usage & KU_CRL_SIGN) != 0;
}

}  // namespace

bool TrustAnchors::load(const std::vector<std::string>& trustFiles, const std::vector<std::string>& crlFiles,
                        std::string& error) {
  store_.reset(X509_STORE_new());
  if (!store_) {
    error = "out of memory";
    return false;
  }
  if (trustFiles.empty()) {
    error = "no --trust file given";
    return false;
  }
  for (const std::string& file : trustFiles) {
    if (!loadTrustFile(file, error)) return false;
  }
  for (const std::string& file : crlFiles) {
    if (!loadCrlFile(file, error)) return false;
  }
  return true;
}

bool TrustAnchors::loadTrustFile(const std::string& file, std::string& error) {
  std::vector<X509*> certificates;
  const FileRead read = readObjectsFile<X509>(file, PEM_read_bio_X509, d2i_X509_bio, &certificates);
  for (X509* certificate : certificates) anchors_.emplace_back(certificate);
  if (read == FileRead::kUnreadable) {
    error = file + ": cannot be read";
    return false;
  }
  if (read == FileRead::kDamaged || certificates.empty()) {
    error = file + (read == FileRead::kRead ? ": holds no certificate" : ": holds a damaged certificate or is no certificate file");
    return false;
  }
  for (X509* certificate : certificates) {
    if (X509_STORE_add_cert(store_.get(), certificate) != 1) {
      // The same certificate given twice is fine.
      const unsigned long last = ERR_peek_last_error();
      ERR_clear_error();
      if (ERR_GET_REASON(last) != X509_R_CERT_ALREADY_IN_HASH_TABLE) {
        error = file + ": a certificate cannot be used";
        return false;
      }
    }
  }
  return true;
}

bool TrustAnchors::loadCrlFile(const std::string& file, std::string& error) {
  std::vector<X509_CRL*> lists;
  const FileRead read = readObjectsFile<X509_CRL>(file, PEM_read_bio_X509_CRL, d2i_X509_CRL_bio, &lists);
  const size_t first = crls_.size();
  for (X509_CRL* list : lists) crls_.push_back(Crl{UniqueCrl(list), {}});
  if (read == FileRead::kUnreadable) {
    error = file + ": cannot be read";
    return false;
  }
  if (read == FileRead::kDamaged || lists.empty()) {
    error = file + (read == FileRead::kRead ? ": holds no CRL" : ": holds a damaged CRL or is no CRL file");
    return false;
  }
  // A CRL counts only when a trust certificate of its issuer's name signed
  // it; one that none did is refused here rather than ignored, so that a
  // wrong file cannot silently leave revoked certificates passing.
  for (size_t i = first; i < crls_.size(); ++i) {
    Crl& crl = crls_[i];
    for (const UniqueCertificate& anchor : anchors_) {
      if (X509_NAME_cmp(X509_get_subject_name(anchor.get()), X509_CRL_get_issuer(crl.list.get())) != 0) continue;
      if (!keyMaySignCrls(anchor.get())) continue;
      if (X509_CRL_verify(crl.list.get(), X509_get0_pubkey(anchor.get())) == 1) crl.signers.push_back(anchor.get());
    }
    ERR_clear_error();
    if (crl.signers.empty()) {
      char* issuer = X509_NAME_oneline(X509_CRL_get_issuer(crl.list.get()), nullptr, 0);
      error = file + ": the CRL of " + (issuer ? issuer : "?") + " is signed by none of the --trust certificates";
      OPENSSL_free(issuer);
      return false;
    }
    // Sorts the entries now, so that lookups from many threads only read.
    X509_REVOKED* entry = nullptr;
    X509_CRL_get0_by_serial(crl.list.get(), &entry, X509_get0_serialNumber(crl.signers[0]));
  }
  return true;
}

bool TrustAnchors::validate(X509* certificate, STACK_OF(X509) * untrusted, UniqueCertificate* issuer) const {
  issuer->reset();
  UniqueStoreContext context(X509_STORE_CTX_new());
  if (!context || X509_STORE_CTX_init(context.get(), store_.get(), certificate, untrusted) != 1) {
    ERR_clear_error();
    return false;
  }
  X509_STORE_CTX_set_verify_cb(context.get(), acceptEndCertificateDates);
  const bool valid = X509_verify_cert(context.get()) == 1;
  ERR_clear_error();
  if (!valid) return false;
  STACK_OF(X509)* path = X509_STORE_CTX_get0_chain(context.get());
  // A trust certificate given as the end certificate is its own issuer.
  X509* found = sk_X509_value(path, sk_X509_num(path) > 1 ? 1 : 0);
  if (found == nullptr || X509_up_ref(found) != 1) return false;
  issuer->reset(found);
  return true;
}

bool TrustAnchors::revoked(X509* certificate, X509* issuer) const {
  for (const Crl& crl : crls_) {
    bool signedByIssuer = false;
    for (X509* signer : crl.signers) signedByIssuer = signedByIssuer || X509_cmp(signer, issuer) == 0;
    if (!signedByIssuer) continue;
    X509_REVOKED* entry = nullptr;
    // 1: listed; 2: listed as removeFromCRL (a delta CRL taking it back).
    if (X509_CRL_get0_by_cert(crl.list.get(), &entry, certificate) == 1) return true;
  }
  return false;
}

}  // namespace korvel::verify
