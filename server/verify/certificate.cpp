#include "server/verify/certificate.h"

#include <openssl/asn1.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <ctime>

#include "server/verify/openssl_handles.h"
#include "server/verify/text/rfc4514.h"
#include "server/verify/text/utf16.h"

namespace korvel::verify {
namespace {

struct NamedType {
  int nid;
  const char* name;
};
// RFC 4514, section 3.
constexpr NamedType kRfc4514Types[] = {
    {NID_commonName, "CN"},         {NID_localityName, "L"},      {NID_stateOrProvinceName, "ST"},
    {NID_organizationName, "O"},    {NID_organizationalUnitName, "OU"}, {NID_countryName, "C"},
    {NID_streetAddress, "STREET"},  {NID_domainComponent, "DC"},  {NID_userId, "UID"},
};

const char* rfc4514TypeName(int nid) {
  for (const NamedType& type : kRfc4514Types) {
    if (type.nid == nid) return type.name;
  }
  return nullptr;
}

bool isStringType(int type) {
  switch (type) {
    case V_ASN1_UTF8STRING: case V_ASN1_PRINTABLESTRING: case V_ASN1_IA5STRING: case V_ASN1_T61STRING:
    case V_ASN1_BMPSTRING: case V_ASN1_UNIVERSALSTRING: case V_ASN1_VISIBLESTRING: case V_ASN1_NUMERICSTRING:
      return true;
    default:
      return false;
  }
}

// The value as UTF-8 (BMP and universal strings converted, T.61 read as
// Latin-1); false when it is no string or does not convert.
bool utf8Value(const ASN1_STRING* value, std::string* text) {
  if (value == nullptr || !isStringType(ASN1_STRING_type(value))) return false;
  unsigned char* converted = nullptr;
  const int length = ASN1_STRING_to_UTF8(&converted, value);
  if (length < 0) return false;
  UniqueOpenSslBytes owner(converted);
  text->assign(reinterpret_cast<const char*>(converted), static_cast<size_t>(length));
  return true;
}

std::string hexOfValue(const ASN1_STRING* value) {
  // The value's whole DER: its own tag and length, then its content.
  ASN1_TYPE* any = ASN1_TYPE_new();
  if (any == nullptr) return "#";
  ASN1_STRING* copy = ASN1_STRING_dup(value);
  std::string out = "#";
  if (copy != nullptr) {
    ASN1_TYPE_set(any, ASN1_STRING_type(value), copy);
    unsigned char* der = nullptr;
    const int length = i2d_ASN1_TYPE(any, &der);
    if (length > 0) {
      UniqueOpenSslBytes owner(der);
      out = rfc4514HexValue(der, static_cast<size_t>(length));
    }
  }
  ASN1_TYPE_free(any);
  return out;
}

std::string dottedOid(const ASN1_OBJECT* object) {
  char text[128];
  const int length = OBJ_obj2txt(text, sizeof text, object, 1);
  if (length <= 0) return std::string();
  if (static_cast<size_t>(length) < sizeof text) return std::string(text, static_cast<size_t>(length));
  std::string longer(static_cast<size_t>(length) + 1, '\0');
  OBJ_obj2txt(longer.data(), length + 1, object, 1);
  longer.resize(static_cast<size_t>(length));
  return longer;
}

std::string attributeText(const X509_NAME_ENTRY* entry) {
  const ASN1_OBJECT* object = X509_NAME_ENTRY_get_object(entry);
  const ASN1_STRING* value = X509_NAME_ENTRY_get_data(entry);
  const char* name = rfc4514TypeName(OBJ_obj2nid(object));
  std::string text;
  if (name != nullptr && utf8Value(value, &text)) return std::string(name) + "=" + rfc4514Value(text);
  return (name != nullptr ? std::string(name) : dottedOid(object)) + "=" + hexOfValue(value);
}

// The first value of the attribute `nid` in the name, in encoded order; a
// value that does not convert is the empty text (it is still the one found).
bool firstAttribute(const X509_NAME* name, int nid, std::string* text) {
  const int index = X509_NAME_get_index_by_NID(name, nid, -1);
  if (index < 0) return false;
  if (!utf8Value(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index)), text)) text->clear();
  return true;
}

bool hasOid(X509_EXTENSION* extension, const char* oid) {
  return dottedOid(X509_EXTENSION_get_object(extension)) == oid;
}

const ASN1_OCTET_STRING* extensionValue(const X509* certificate, int index) {
  return X509_EXTENSION_get_data(X509_get_ext(certificate, index));
}

// rfc822 names of the issuer alternative name extension, first one.
bool issuerAlternativeEmail(const X509* certificate, std::string* text) {
  const int index = X509_get_ext_by_NID(certificate, NID_issuer_alt_name, -1);
  if (index < 0) return false;
  const ASN1_OCTET_STRING* value = extensionValue(certificate, index);
  const unsigned char* p = ASN1_STRING_get0_data(value);
  GENERAL_NAMES* names = d2i_GENERAL_NAMES(nullptr, &p, ASN1_STRING_length(value));
  if (names == nullptr) return false;
  bool found = false;
  for (int i = 0; i < sk_GENERAL_NAME_num(names) && !found; ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
    if (name->type == GEN_EMAIL) found = utf8Value(name->d.rfc822Name, text);
  }
  GENERAL_NAMES_free(names);
  return found;
}

std::string simpleDisplayName(const X509* certificate) {
  const X509_NAME* issuer = X509_get_issuer_name(certificate);
  std::string text;
  for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
    if (firstAttribute(issuer, nid, &text)) return text;
  }
  if (issuerAlternativeEmail(certificate, &text)) return text;
  if (X509_NAME_entry_count(issuer) > 0 && utf8Value(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(issuer, 0)), &text)) {
    return text;
  }
  return std::string();
}

}  // namespace

std::string rfc4514Name(const X509_NAME* name) {
  std::string out;
  const int count = X509_NAME_entry_count(name);
  for (int i = count - 1; i >= 0; --i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
    if (i != count - 1) {
      // Entries of one RDN share its set number; they are written '+'-joined.
      const X509_NAME_ENTRY* previous = X509_NAME_get_entry(name, i + 1);
      out += X509_NAME_ENTRY_set(entry) == X509_NAME_ENTRY_set(previous) ? "+" : ",";
    }
    out += attributeText(entry);
  }
  return out;
}

std::string issuerSimpleDisplayName(const X509* certificate) {
  constexpr size_t kLargestUnits = 1023;  // the control's 1024-character buffer
  std::string name = simpleDisplayName(certificate);
  name = name.substr(0, name.find('\0'));
  std::u16string units;
  if (utf8ToUtf16(name, &units) && units.size() > kLargestUnits) {
    // Only the length matters here: a cut name is never the private issuer's.
    name.clear();
  }
  return name;
}

std::string serialHex(const X509* certificate) {
  const ASN1_INTEGER* serial = X509_get0_serialNumber(certificate);
  const unsigned char* bytes = ASN1_STRING_get0_data(serial);
  const int length = ASN1_STRING_length(serial);
  std::string text = ASN1_STRING_type(serial) == V_ASN1_NEG_INTEGER ? "-" : "";
  if (length <= 0) return text + "00";
  return text + bytesToHex(bytes, static_cast<size_t>(length));
}

bool notAfterTime(const X509* certificate, CivilTime* time, int64_t* seconds) {
  struct tm fields {};
  if (ASN1_TIME_to_tm(X509_get0_notAfter(certificate), &fields) != 1) return false;
  *time = CivilTime{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday,
                    fields.tm_hour, fields.tm_min, fields.tm_sec};
  *seconds = secondsSinceEpoch(*time);
  return true;
}

bool passesAuthorityKeyRule(const X509* certificate, const KeyIdTable& table) {
  const int count = X509_get_ext_count(certificate);
  for (int i = 0; i < count; ++i) {
    if (!hasOid(X509_get_ext(certificate, i), kAuthorityKeyIdOid)) continue;
    const ASN1_OCTET_STRING* value = extensionValue(certificate, i);
    if (authorityKeyValueMatchesIn(table, ASN1_STRING_get0_data(value),
                                   static_cast<size_t>(ASN1_STRING_length(value))) == 1) {
      return true;
    }
  }
  return false;
}

bool passesPrivateIssuerRule(const X509* certificate) {
  if (issuerSimpleDisplayName(certificate) != kPrivateIssuerNameUtf8) return false;
  const int count = X509_get_ext_count(certificate);
  for (int i = 0; i < count; ++i) {
    if (!hasOid(X509_get_ext(certificate, i), kPrivateIssuerOid)) continue;
    const ASN1_OCTET_STRING* value = extensionValue(certificate, i);
    if (privateIssuerValueMatches(ASN1_STRING_get0_data(value), static_cast<size_t>(ASN1_STRING_length(value))) == 1) {
      return true;
    }
  }
  return false;
}

}  // namespace korvel::verify
