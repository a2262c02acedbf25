#include "server/verify/message.h"

#include <openssl/err.h>
#include <openssl/objects.h>

#include <cstring>

namespace korvel::verify {
namespace {

bool isAcceptedDigest(int nid, bool allowSha1) {
  switch (nid) {
    case NID_sha224: case NID_sha256: case NID_sha384: case NID_sha512:
    case NID_sha512_224: case NID_sha512_256:
    case NID_sha3_224: case NID_sha3_256: case NID_sha3_384: case NID_sha3_512:
      return true;
    case NID_sha1:
      return allowSha1;
    default:
      return false;
  }
}

const ASN1_OCTET_STRING* attachedContent(const SignedMessage& message) {
  ASN1_OCTET_STRING** content = CMS_get0_content(message.cms.get());
  return content != nullptr ? *content : nullptr;
}

bool hasSignedAttributes(const SignedMessage& message) {
  return CMS_signed_get_attr_count(message.signerInfo) >= 0;
}

// With signed attributes, their content type must be the message's.
bool contentTypeAttributeMatches(const SignedMessage& message) {
  const ASN1_OBJECT* type = static_cast<const ASN1_OBJECT*>(CMS_signed_get0_data_by_OBJ(
      message.signerInfo, OBJ_nid2obj(NID_pkcs9_contentType), -3, V_ASN1_OBJECT));
  return type != nullptr && OBJ_cmp(type, CMS_get0_eContentType(message.cms.get())) == 0;
}

}  // namespace

bool readSignedMessage(const std::vector<uint8_t>& der, SignedMessage* message) {
  const unsigned char* p = der.data();
  const long size = static_cast<long>(der.size());
  message->cms.reset(der.empty() ? nullptr : d2i_CMS_ContentInfo(nullptr, &p, size));
  ERR_clear_error();
  if (!message->cms || p != der.data() + der.size()) return false;
  if (OBJ_obj2nid(CMS_get0_type(message->cms.get())) != NID_pkcs7_signed) return false;
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(message->cms.get());
  if (signers == nullptr || sk_CMS_SignerInfo_num(signers) != 1) return false;
  message->signerInfo = sk_CMS_SignerInfo_value(signers, 0);
  // Finds the signer's certificate among the message's own.
  CMS_set1_signers_certs(message->cms.get(), nullptr, 0);
  ERR_clear_error();
  CMS_SignerInfo_get0_algs(message->signerInfo, nullptr, &message->signer, nullptr, nullptr);
  return true;
}

bool digestAccepted(const SignedMessage& message, bool allowSha1) {
  X509_ALGOR* digest = nullptr;
  X509_ALGOR* signature = nullptr;
  CMS_SignerInfo_get0_algs(message.signerInfo, nullptr, nullptr, &digest, &signature);
  const ASN1_OBJECT* digestObject = nullptr;
  X509_ALGOR_get0(&digestObject, nullptr, nullptr, digest);
  if (!isAcceptedDigest(OBJ_obj2nid(digestObject), allowSha1)) return false;
  const ASN1_OBJECT* signatureObject = nullptr;
  X509_ALGOR_get0(&signatureObject, nullptr, nullptr, signature);
  int signatureDigest = NID_undef;
  int keyType = NID_undef;
  if (OBJ_find_sigid_algs(OBJ_obj2nid(signatureObject), &signatureDigest, &keyType) &&
      signatureDigest != NID_undef) {
    return isAcceptedDigest(signatureDigest, allowSha1);
  }
  return true;
}

bool contentMatches(const SignedMessage& message, const std::vector<uint8_t>& expected) {
  if (OBJ_obj2nid(CMS_get0_eContentType(message.cms.get())) != NID_pkcs7_data) return false;
  const ASN1_OCTET_STRING* content = attachedContent(message);
  if (content == nullptr) return expected.empty();
  const size_t size = static_cast<size_t>(ASN1_STRING_length(content));
  return size == expected.size() && (size == 0 || std::memcmp(ASN1_STRING_get0_data(content), expected.data(), size) == 0);
}

bool signatureVerifies(const SignedMessage& message) {
  if (message.signer == nullptr) return false;
  if (hasSignedAttributes(message) && !contentTypeAttributeMatches(message)) return false;
  // Absent content is the empty content (see contentMatches).
  UniqueBio emptyContent;
  if (attachedContent(message) == nullptr) {
    emptyContent.reset(BIO_new_mem_buf("", 0));
    if (!emptyContent) return false;
  }
  const int verified = CMS_verify(message.cms.get(), nullptr, nullptr, emptyContent.get(), nullptr,
                                  CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY);
  ERR_clear_error();
  return verified == 1;
}

UniqueCertificates messageCertificates(const SignedMessage& message) {
  return UniqueCertificates(CMS_get1_certs(message.cms.get()));
}

}  // namespace korvel::verify
