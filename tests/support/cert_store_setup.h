#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

// Test-only setup of the current user's "MY" store: what a test needs there
// and nothing else.
namespace testing_support {

using Bytes = std::vector<unsigned char>;

// The whole content of a file; empty when it cannot be read.
Bytes readFileBytes(const std::wstring& path);

// Removes every certificate from "MY". S_OK or the failing call's HRESULT.
HRESULT clearPersonalStore();

// Adds a DER certificate to "MY", with a friendly name when one is given.
HRESULT addCertificate(const Bytes& der, const std::wstring* friendlyName = nullptr);

// Adds the certificate of a PFX file to "MY" with its private key, so that it
// signs: the key goes into a container of its own in the enhanced RSA/AES
// provider (the PFX import's shared container would be overwritten by the
// next import).
HRESULT addPfx(const Bytes& pfx, const std::wstring& password, const std::wstring* friendlyName = nullptr);

// A path next to the running program (for example "..\\test-certs\\a.der").
std::wstring pathBesideProgram(const std::wstring& relative);

}  // namespace testing_support
