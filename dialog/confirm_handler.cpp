#include "dialog/korvel_dlg.h"

#include <wincrypt.h>

#include <memory>
#include <string>
#include <vector>

#include "dialog/module_strings.h"
#include "signing/certificate_store.h"
#include "signing/signature.h"
#include "signing/text/base64.h"

namespace {

// A BSTR of the base64 text of `data`, or none when it does not fit the
// 8191-character output limit (or memory runs out).
framework::UniqueBstr makeBase64Text(const BYTE* data, DWORD size) {
  std::vector<wchar_t> buffer(korvel::kCertificateTextBufferLength);
  size_t length = 0;
  if (!korvel::encodeBase64(data, size, buffer.data(), buffer.size(), &length)) return framework::UniqueBstr();
  return framework::UniqueBstr(SysAllocStringLen(buffer.data(), static_cast<UINT>(length)));
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
  auto selectedName = std::make_unique<wchar_t[]>(korvel::kCertificateTextBufferLength);
  LVITEMW textItem{};
  textItem.iSubItem = 0;
  textItem.pszText = selectedName.get();
  textItem.cchTextMax = korvel::kCertificateTextBufferLength;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(found), reinterpret_cast<LPARAM>(&textItem));

  // A store that cannot be opened leaves the dialog open for another try.
  framework::UniqueCertStore store = korvel::openPersonalStore();
  if (!store) return 0;

  if (row < 0 || static_cast<size_t>(row) >= rowSerials_.size()) {
    store.reset();
    return endDialog(kResultNothingSigned);
  }
  const std::wstring& rowSerial = rowSerials_[static_cast<size_t>(row)];
  framework::UniqueCertContext signer;
  while (korvel::nextCertificate(store.get(), signer)) {
    if (korvel::subjectName(signer.get()) == selectedName.get() && korvel::serialText(signer.get()) == rowSerial)
      break;
  }
  if (!signer) {
    store.reset();
    return endDialog(kResultNothingSigned);
  }

  const wchar_t* text = issuerDN_ ? issuerDN_.get() : L"";
  framework::UniqueTaskMemory message;
  DWORD messageSize = 0;
  if (korvel::signText(signer.get(), text, wcslen(text), message, messageSize)) {
    framework::UniqueBstr signedText =
        makeBase64Text(static_cast<const BYTE*>(message.get()), messageSize);
    framework::UniqueBstr certificateText =
        makeBase64Text(signer.get()->pbCertEncoded, signer.get()->cbCertEncoded);
    if (signedText && certificateText) {
      issuerDN_ = std::move(signedText);
      certData_ = std::move(certificateText);
      signer.reset();
      store.reset();
      message.reset();
      return endDialog(kResultSigned);
    }
  }

  // Signing failed, or an output would not fit its 8191 characters; the
  // certificate, the store and the message go when the handler returns.
  const std::wstring failure = loadModuleString(kStringSigningFailed);
  MessageBoxW(window(), failure.c_str(), L"", MB_OK);
  return endDialog(kResultNothingSigned);
}
