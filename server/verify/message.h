#pragma once
#include <openssl/cms.h>

#include <cstdint>
#include <vector>

#include "server/verify/openssl_handles.h"

namespace korvel::verify {

// A parsed PKCS #7 / CMS SignedData with exactly one signer.
struct SignedMessage {
  UniqueMessage cms;
  CMS_SignerInfo* signerInfo = nullptr;  // owned by cms
  X509* signer = nullptr;                // the signer's certificate in the message, or null; owned by cms
};

// False when the bytes are not exactly one DER (BER) SignedData with one signer.
bool readSignedMessage(const std::vector<uint8_t>& der, SignedMessage* message);

// The digest (and the digest a signature algorithm names, if it names one)
// is of the SHA-2 or SHA-3 family, or SHA-1 when that is allowed.
bool digestAccepted(const SignedMessage& message, bool allowSha1);

// The message carries data content exactly equal to `expected`. An absent
// content counts as the empty content: the control writes empty data so.
bool contentMatches(const SignedMessage& message, const std::vector<uint8_t>& expected);

// The signature verifies with the signer's key, over the content directly
// or over signed attributes whose message digest is the content's.
bool signatureVerifies(const SignedMessage& message);

// The message's certificates (new references), as intermediates on offer.
UniqueCertificates messageCertificates(const SignedMessage& message);

}  // namespace korvel::verify
