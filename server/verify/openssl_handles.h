#pragma once
// Owners of the OpenSSL objects the verifier makes.
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/x509.h>

#include "framework/unique_any.h"

namespace korvel::verify {

inline void freeBio(BIO* bio) { BIO_free(bio); }
inline void freeCertificateStack(STACK_OF(X509) * certificates) { sk_X509_pop_free(certificates, X509_free); }
inline void freeOpenSslBytes(unsigned char* bytes) { OPENSSL_free(bytes); }

using UniqueBio = framework::UniqueAny<BIO*, freeBio>;
using UniqueCertificate = framework::UniqueAny<X509*, X509_free>;
using UniqueCertificates = framework::UniqueAny<STACK_OF(X509)*, freeCertificateStack>;
using UniqueCrl = framework::UniqueAny<X509_CRL*, X509_CRL_free>;
using UniqueMessage = framework::UniqueAny<CMS_ContentInfo*, CMS_ContentInfo_free>;
using UniqueStore = framework::UniqueAny<X509_STORE*, X509_STORE_free>;
using UniqueStoreContext = framework::UniqueAny<X509_STORE_CTX*, X509_STORE_CTX_free>;
using UniqueOpenSslBytes = framework::UniqueAny<unsigned char*, freeOpenSslBytes>;

}  // namespace korvel::verify
