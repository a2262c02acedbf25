#include <openssl/err.h>

#include <cstring>
#include <vector>

#include "control/text/server_date.h"
#include "dialog/text/renewal_window.h"
#include "server/verify/certificate.h"
#include "server/verify/input.h"
#include "server/verify/korvel_verify.h"
#include "server/verify/message.h"
#include "server/verify/text/utf16.h"
#include "server/verify/trust.h"
#include "signing/text/authority_checks.h"
#include "signing/text/base64.h"

namespace korvel::verify {
namespace {

bool readKeyId(const std::string& hex, uint8_t (&id)[kKeyIdLength]) {
  if (hex.size() != 2 * kKeyIdLength) return false;
  for (size_t i = 0; i < kKeyIdLength; ++i) {
    int value = 0;
    for (char c : {hex[2 * i], hex[2 * i + 1]}) {
      int digit;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else return false;
      value = value * 16 + digit;
    }
    id[i] = static_cast<uint8_t>(value);
  }
  return true;
}

// What the renewal's texts hold, read; false for anything malformed.
struct ReadRenewal {
  SignedMessage message;
  std::vector<uint8_t> certData;
  std::vector<uint8_t> content;  // the UTF-16LE bytes of data
  int64_t serverTime = 0;
  bool certDataIsSigner = false;
};

bool bytesEqualCertificate(const std::vector<uint8_t>& bytes, X509* certificate) {
  unsigned char* der = nullptr;
  const int size = certificate != nullptr ? i2d_X509(certificate, &der) : -1;
  if (size < 0) return false;
  UniqueOpenSslBytes owner(der);
  return static_cast<size_t>(size) == bytes.size() && std::memcmp(der, bytes.data(), bytes.size()) == 0;
}

bool isCertificateDer(const std::vector<uint8_t>& bytes) {
  const unsigned char* p = bytes.data();
  UniqueCertificate certificate(bytes.empty() ? nullptr : d2i_X509(nullptr, &p, static_cast<long>(bytes.size())));
  ERR_clear_error();
  return certificate && p == bytes.data() + bytes.size();
}

bool readServerTime(const std::string& text, int64_t* seconds) {
  std::u16string units;
  if (!utf8ToUtf16(text, &units)) return false;
  // The control's reader takes wide text up to its first null.
  std::wstring wide(units.begin(), units.end());
  const std::optional<int64_t> read = readableServerSeconds(wide.c_str());
  if (!read) return false;
  *seconds = *read;
  return true;
}

bool readRenewal(const Renewal& renewal, ReadRenewal* read) {
  std::vector<uint8_t> messageDer;
  if (!decodeBase64(renewal.issuerDN.data(), renewal.issuerDN.size(), &messageDer)) return false;
  if (!decodeBase64(renewal.certData.data(), renewal.certData.size(), &read->certData)) return false;
  std::u16string units;
  if (!utf8ToUtf16(renewal.data, &units)) return false;
  read->content = utf16LeBytes(units);
  if (!readServerTime(renewal.serverDate, &read->serverTime)) return false;
  if (!readSignedMessage(messageDer, &read->message)) return false;
  // CertData must be a certificate; the usual one is the signer's, which
  // the message has parsed already.
  read->certDataIsSigner = bytesEqualCertificate(read->certData, read->message.signer);
  return read->certDataIsSigner || isCertificateDer(read->certData);
}

Verdict refused(Reason reason) {
  Verdict verdict;
  verdict.reason = reason;
  return verdict;
}

class OpenSslVerifier : public Verifier {
 public:
  bool load(const Settings& settings, std::string& error) {
    if (settings.knownKeyIds) {
      keyIds_.resize(settings.knownKeyIds->size());
      for (size_t i = 0; i < keyIds_.size(); ++i) {
        if (!readKeyId((*settings.knownKeyIds)[i], keyIds_[i].bytes)) {
          error = "--known-key-id " + (*settings.knownKeyIds)[i] + ": not 40 hexadecimal digits";
          return false;
        }
      }
    } else {
      keyIds_.resize(kBuildKeyIdCount);
      for (size_t i = 0; i < kBuildKeyIdCount; ++i) std::memcpy(keyIds_[i].bytes, buildAuthorityKeyIds[i], kKeyIdLength);
    }
    allowSha1_ = settings.allowSha1;
    return trust_.load(settings.trustFiles, settings.crlFiles, error);
  }

  Verdict verify(const Renewal& renewal) const override {
    const size_t size = renewal.issuerDN.size() + renewal.certData.size() + renewal.data.size() +
                        renewal.serverDate.size();
    if (size > kLargestInputBytes) return refused(Reason::kTooLarge);
    ReadRenewal read;
    if (!readRenewal(renewal, &read)) return refused(Reason::kMalformed);
    const SignedMessage& message = read.message;
    if (!digestAccepted(message, allowSha1_)) return refused(Reason::kWeakDigest);
    if (!contentMatches(message, read.content)) return refused(Reason::kContentMismatch);
    if (!read.certDataIsSigner) return refused(Reason::kSignerMismatch);
    if (!signatureVerifies(message)) return refused(Reason::kBadSignature);
    UniqueCertificates offered = messageCertificates(message);
    UniqueCertificate issuer;
    if (!trust_.validate(message.signer, offered.get(), &issuer)) return refused(Reason::kUntrusted);
    if (trust_.revoked(message.signer, issuer.get())) return refused(Reason::kRevoked);
    if (!passesAuthorityKeyRule(message.signer, keyIdTable()) && !passesPrivateIssuerRule(message.signer)) {
      return refused(Reason::kNotEligible);
    }
    CivilTime notAfter{};
    int64_t notAfterSeconds = 0;
    if (!notAfterTime(message.signer, &notAfter, &notAfterSeconds) ||
        !renewalWindowAround(read.serverTime).contains(notAfterSeconds)) {
      return refused(Reason::kOutsideWindow);
    }
    Verdict verdict;
    verdict.ok = true;
    verdict.approval.subject = rfc4514Name(X509_get_subject_name(message.signer));
    verdict.approval.issuer = rfc4514Name(X509_get_issuer_name(message.signer));
    verdict.approval.serial = serialHex(message.signer);
    verdict.approval.notAfter = iso8601Utc(notAfter);
    return verdict;
  }

  Verdict verifyJson(std::string_view json) const override {
    if (json.size() > kLargestInputBytes) return refused(Reason::kTooLarge);
    std::optional<Renewal> renewal = readRenewalJson(json);
    if (!renewal) return refused(Reason::kMalformed);
    return verify(*renewal);
  }

 private:
  struct KeyId {
    uint8_t bytes[kKeyIdLength];
  };
  KeyIdTable keyIdTable() const {
    return KeyIdTable{reinterpret_cast<const uint8_t(*)[kKeyIdLength]>(keyIds_.data()), keyIds_.size()};
  }

  TrustAnchors trust_;
  std::vector<KeyId> keyIds_;
  bool allowSha1_ = false;
};

}  // namespace

std::unique_ptr<Verifier> Verifier::create(const Settings& settings, std::string& error) {
  auto verifier = std::make_unique<OpenSslVerifier>();
  if (!verifier->load(settings, error)) return nullptr;
  return verifier;
}

}  // namespace korvel::verify
