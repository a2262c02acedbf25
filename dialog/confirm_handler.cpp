#include "dialog/korvel_dlg.h"

#include <wincrypt.h>

#include <cwchar>

#include "dialog/module_strings.h"
#include "signing/certificate_store.h"
#include "signing/signature.h"
#include "signing/text/base64.h"

namespace {

// A BSTR of the base64 text of `data`, or none when it does not fit the
// 8191-character output limit or memory runs out.
framework::UniqueBstr makeBase64Text(const BYTE* data, DWORD size) {
  korvel::TextBuffer buffer = korvel::newTextBuffer();
  if (!buffer) return framework::UniqueBstr();
  size_t length = 0;
  if (!korvel::encodeBase64(data, size, buffer.get(), korvel::kCertificateTextBufferLength, &length))
    return framework::UniqueBstr();
  return framework::UniqueBstr(SysAllocStringLen(buffer.get(), static_cast<UINT>(length)));
}

// Column 0 of the item that carries row index `row` (at most 8191 characters).
void readRowName(HWND list, LPARAM row, wchar_t* name) {
  LVFINDINFOW find{};
  find.flags = LVFI_PARAM;
  find.lParam = row;
  const auto found = SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find));
  LVITEMW textItem{};
  textItem.iSubItem = 0;
  textItem.pszText = name;
  textItem.cchTextMax = korvel::kCertificateTextBufferLength;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(found), reinterpret_cast<LPARAM>(&textItem));
  name[korvel::kCertificateTextBufferLength - 1] = L'\0';
}

// The first certificate of `store` with this name and serial text; `work` is
// a work buffer for the candidates' texts.
framework::UniqueCertContext findCertificate(HCERTSTORE store, const wchar_t* name, const wchar_t* serial,
                                             wchar_t* work) {
  framework::UniqueCertContext candidate;
  while (korvel::nextCertificate(store, candidate)) {
    korvel::subjectName(candidate.get(), work);
    if (std::wcscmp(work, name) != 0) continue;
    korvel::serialText(candidate.get(), work);
    if (std::wcscmp(work, serial) == 0) break;
  }
  return candidate;
}

}  // namespace

// The renew button: signs IssuerDN with the selected row's certificate.
LRESULT CKorvelDlg::OnOK(WORD, WORD id) {
  HWND list = certificateList_;
  if (SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 0) return endWithResult(id, kResultEmptyList);
  const auto selected = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (selected == -1) return endWithResult(id, kResultNothingSigned);

  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = selected;
  SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  const LPARAM row = item.lParam;

  // Without memory for the work buffers nothing can be signed.
  korvel::TextBuffer selectedName = korvel::newTextBuffer();
  korvel::TextBuffer work = korvel::newTextBuffer();
  if (!selectedName || !work) return endWithSigningFailure(id);
  readRowName(list, row, selectedName.get());

  // A store that cannot be opened leaves the dialog open for another try.
  framework::UniqueCertStore store = korvel::openPersonalStore();
  if (!store) return 0;

  if (row < 0 || static_cast<size_t>(row) >= rowSerials_.size()) return endWithResult(id, kResultNothingSigned);
  framework::UniqueCertContext signer =
      findCertificate(store.get(), selectedName.get(), rowSerials_[static_cast<size_t>(row)].c_str(), work.get());
  if (!signer) return endWithResult(id, kResultNothingSigned);

  if (!signWith(signer.get())) return endWithSigningFailure(id);
  return endWithResult(id, kResultSigned);
}

// Signs IssuerDN with `signer` and, only when both outputs could be made in
// full, replaces IssuerDN and CertData with them.
bool CKorvelDlg::signWith(PCCERT_CONTEXT signer) {
  const wchar_t* text = issuerDN_ ? issuerDN_.get() : L"";
  framework::UniqueTaskMemory message;
  DWORD messageSize = 0;
  if (!korvel::signText(signer, text, wcslen(text), message, messageSize)) return false;
  framework::UniqueBstr signedText = makeBase64Text(static_cast<const BYTE*>(message.get()), messageSize);
  framework::UniqueBstr certificateText = makeBase64Text(signer->pbCertEncoded, signer->cbCertEncoded);
  if (!signedText || !certificateText) return false;
  issuerDN_ = std::move(signedText);
  certData_ = std::move(certificateText);
  return true;
}

LRESULT CKorvelDlg::endWithResult(WORD id, ULONG resultCode) {
  resultCode_ = resultCode;
  HWND dialog = window();
  cleanUpDialog();
  EndDialog(dialog, id);
  return 0;
}

// Signing failed, an output would not fit its 8191 characters, or memory ran
// out: the user is told, and IssuerDN and CertData keep their values.
LRESULT CKorvelDlg::endWithSigningFailure(WORD id) {
  const ModuleString failure = loadModuleString(kStringSigningFailed);
  MessageBoxW(window(), failure.data(), L"", MB_OK);
  return endWithResult(id, kResultNothingSigned);
}
