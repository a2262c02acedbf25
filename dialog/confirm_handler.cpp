#include "dialog/korvel_dlg.h"

#include <wincrypt.h>

#include <memory>
#include <string>

#include "dialog/module_strings.h"
#include "signing/signature.h"
#include "signing/text/base64.h"

namespace {

constexpr DWORD kTextBufferLength = 8192;

// The simple display name of `certificate` into a kTextBufferLength buffer.
void readSubjectName(PCCERT_CONTEXT certificate, wchar_t* buffer) {
  buffer[0] = L'\0';
  CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, buffer, kTextBufferLength);
}

// The serial-number text of `certificate`, made exactly as for the row table.
std::wstring readSerialText(PCCERT_CONTEXT certificate, wchar_t* buffer) {
  const CRYPT_INTEGER_BLOB& serial = certificate->pCertInfo->SerialNumber;
  DWORD length = kTextBufferLength;
  if (!CryptBinaryToStringW(serial.pbData, serial.cbData, CRYPT_STRING_HEX, buffer, &length)) return std::wstring();
  return std::wstring(buffer, length);
}

// A BSTR of the base64 text of `data`, or none when it does not fit the
// 8191-character output limit (or memory runs out).
framework::UniqueBstr makeBase64Text(const BYTE* data, DWORD size, wchar_t* buffer) {
  size_t length = 0;
  if (!signing::encodeBase64(data, size, buffer, kTextBufferLength, &length)) return framework::UniqueBstr();
  return framework::UniqueBstr(SysAllocStringLen(buffer, static_cast<UINT>(length)));
}

}  // namespace

// The renew button: signs IssuerDN with the selected row's certificate.
LRESULT CKorvelDlg::OnOK(WORD, WORD id) {
  auto endDialog = [this, id](ULONG resultCode) {
    resultCode_ = resultCode;
    HWND dialog = window();
    cleanUpDialog();
    EndDialog(dialog, id);
    return 0;
  };

  HWND list = certificateList_;
  if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 0) return endDialog(kResultEmptyList);
  const auto selected = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (selected == -1) return endDialog(kResultNothingSigned);

  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = selected;
  SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  const LPARAM row = item.lParam;

  LVFINDINFOW find{};
  find.flags = LVFI_PARAM;
  find.lParam = row;
  const auto found = SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find));
  auto selectedName = std::make_unique<wchar_t[]>(kTextBufferLength);
  LVITEMW textItem{};
  textItem.iSubItem = 0;
  textItem.pszText = selectedName.get();
  textItem.cchTextMax = kTextBufferLength;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(found), reinterpret_cast<LPARAM>(&textItem));

  // A store that cannot be opened leaves the dialog open for another try.
  framework::UniqueCertStore store(CertOpenSystemStoreW(0, L"MY"));
  if (!store) return 0;

  if (row < 0 || static_cast<size_t>(row) >= rowSerials_.size()) return endDialog(kResultNothingSigned);
  const std::wstring& rowSerial = rowSerials_[static_cast<size_t>(row)];
  auto candidate = std::make_unique<wchar_t[]>(kTextBufferLength);
  framework::UniqueCertContext signer;
  for (PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(store.get(), nullptr); certificate != nullptr;
       certificate = CertEnumCertificatesInStore(store.get(), certificate)) {
    readSubjectName(certificate, candidate.get());
    if (wcscmp(candidate.get(), selectedName.get()) != 0) continue;
    if (readSerialText(certificate, candidate.get()) == rowSerial) {
      signer.reset(certificate);
      break;
    }
  }
  if (!signer) return endDialog(kResultNothingSigned);

  const wchar_t* text = issuerDN_ ? issuerDN_.get() : L"";
  framework::UniqueTaskMemory message;
  DWORD messageSize = 0;
  if (signing::signText(signer.get(), text, wcslen(text), message, messageSize)) {
    framework::UniqueBstr signedText =
        makeBase64Text(static_cast<const BYTE*>(message.get()), messageSize, candidate.get());
    framework::UniqueBstr certificateText =
        makeBase64Text(signer.get()->pbCertEncoded, signer.get()->cbCertEncoded, candidate.get());
    if (signedText && certificateText) {
      issuerDN_ = std::move(signedText);
      certData_ = std::move(certificateText);
      return endDialog(kResultSigned);
    }
  }

  // Signing failed, or an output would not fit its 8191 characters.
  const std::wstring failure = loadModuleString(kStringSigningFailed);
  MessageBoxW(window(), failure.c_str(), L"", MB_OK);
  return endDialog(kResultNothingSigned);
}
