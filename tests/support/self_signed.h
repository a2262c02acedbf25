#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

// Test-only certificates made by the platform itself: self-signed (issuer =
// subject), with any list of extensions, also several with the same OID, and
// names of any length, which the OpenSSL tooling cannot make.
namespace testing_support {

struct Extension {
  const char* oid;
  std::vector<unsigned char> value;  // the DER value
};

// A self-signed certificate for CN=`commonName` with exactly `extensions`, in
// this order, valid from `from` to `to` (UTC). Gives its DER bytes, or nothing
// when the platform refuses.
std::vector<unsigned char> selfSignedCertificate(const std::wstring& commonName,
                                                 const std::vector<Extension>& extensions,
                                                 const SYSTEMTIME& from, const SYSTEMTIME& to);

}  // namespace testing_support
