#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <functional>
#include <string>
#include <vector>

#include "KorvelTool_h.h"
#include "framework/com_ptr.h"
#include "tests/support/cert_store_setup.h"
#include "tests/support/dialog_driver.h"

namespace signing_testing {

using testing_support::Bytes;

// A signing test certificate, by file stem in the signing certificates'
// folder. `withKey` gives it the leaves' private key so that it signs;
// otherwise only the certificate goes into "MY".
struct StoreEntry {
  const wchar_t* stem = nullptr;
  bool withKey = true;
};

// Makes "MY" hold exactly these certificates.
void useStore(const std::vector<StoreEntry>& entries);
// Adds one more certificate to "MY".
void addToStore(const StoreEntry& entry);
// Removes the certificate of `stem` from "MY".
void removeFromStore(const wchar_t* stem);

// The DER bytes of a signing test certificate.
Bytes certificateBytes(const wchar_t* stem);

// A new control with the server time the test certificates need and
// `issuerDN` put.
framework::ComPtr<IKorvelIE> newControl(const std::wstring& issuerDN);
void putIssuerDN(IKorvelIE* control, const std::wstring& text);
std::wstring getIssuerDN(IKorvelIE* control);
std::wstring getCertData(IKorvelIE* control);

// A message box seen while the dialog ran.
struct MessageBoxSeen {
  bool shown = false;
  std::wstring text;
  std::wstring caption;
  bool ownedByDialog = false;
  bool onlyOkButton = false;
};

struct ConfirmRun {
  testing_support::DialogRun dialog;
  MessageBoxSeen box;
};

// Picks the item to select from the list, or -1 to select none.
using RowChooser = std::function<int(HWND list)>;
// Acts on the open dialog after the row is selected and before confirming.
using BeforeConfirm = std::function<void(HWND dialog)>;

// Runs SignRenewal, selects the item `choose` gives, optionally runs
// `before`, then presses the renew button. A message box that shows up is
// read and closed with its OK button.
ConfirmRun confirmRow(IKorvelIE* control, const RowChooser& choose, const BeforeConfirm& before = {});

// Choosers: the first item; the item whose name and end-date columns are
// these; no item.
int firstItem(HWND list);
RowChooser itemWith(const std::wstring& name, const std::wstring& endDate);
int noItem(HWND list);

// Selects `item` of the list as a click would.
void selectItem(HWND list, int item);

// Whether `text` has the output form: base64 lines of 64 characters, each
// line (the last one too) ending in CR LF. Empty when it has, else what is wrong.
std::string base64FormProblem(const std::wstring& text);
Bytes decodeBase64(const std::wstring& text);

// What a signed message holds, read back with the platform's message decoder.
struct MessageContent {
  bool decoded = false;
  Bytes content;
  std::string hashOid;
  DWORD signerCount = 0;
  DWORD certificateCount = 0;
  Bytes certificate;        // the first included certificate
  bool hasSignedAttributes = true;
};
MessageContent readMessage(const Bytes& message);

// UTF-16LE bytes of `text`, no terminator.
Bytes utf16Bytes(const std::wstring& text);

// Leaves a signed result for the OpenSSL check that runs after the Windows
// tests: message.der, cert.der, content.txt (what was put, as UTF-8),
// digest ("sha256" or "sha1") and signer (the certificate's stem) in
// test-out\signing\<name>.
void saveForOpenSsl(const std::wstring& name, IKorvelIE* control, const std::wstring& putText,
                    const char* digest, const wchar_t* signerStem);

}  // namespace signing_testing
