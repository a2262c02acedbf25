#include "dialog/korvel_dlg.h"

#include "dialog/module_strings.h"

INT_PTR CKorvelDlg::runDialog(HWND owner) {
  return runModal(korvelModuleInstance(), kDialogTemplateId, owner, 0);
}

bool CKorvelDlg::processWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_INITDIALOG:
      result = OnInitDialog();
      return true;
    case WM_COMMAND:
      if (wParam == IDOK) {
        result = OnOK(HIWORD(wParam), LOWORD(wParam));
        return true;
      }
      if (wParam == IDCANCEL) {
        result = OnCancel(HIWORD(wParam), LOWORD(wParam));
        return true;
      }
      return false;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->idFrom != kCertificateListId) return false;
      if (header->code == LVN_COLUMNCLICK) {
        result = OnColumnClick(*reinterpret_cast<NMLISTVIEW*>(lParam));
        return true;
      }
      if (header->code == NM_CUSTOMDRAW) {
        result = OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

LRESULT CKorvelDlg::OnInitDialog() {
  centerDialog();
  HWND dialog = window();
  titleLine_ = GetDlgItem(dialog, kTitleLineId);
  promptLine_ = GetDlgItem(dialog, kPromptLineId);
  certificateList_ = GetDlgItem(dialog, kCertificateListId);
  renewButton_ = GetDlgItem(dialog, IDOK);
  cancelButton_ = GetDlgItem(dialog, IDCANCEL);

  SetWindowTextW(renewButton_, loadModuleString(kStringRenewButton).data());
  SetWindowTextW(cancelButton_, loadModuleString(kStringCancelButton).data());

  auto dialogFont = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  LOGFONTW fontDescription{};
  GetObjectW(dialogFont, sizeof(fontDescription), &fontDescription);

  SetWindowTextW(promptLine_, selIdText_ ? selIdText_.get() : L"");
  SetWindowTextW(titleLine_, selIdTitle_ ? selIdTitle_.get() : L"");

  fontDescription.lfWeight = FW_BOLD;
  titleFont_.reset(CreateFontIndirectW(&fontDescription));
  SendMessageW(titleLine_, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.get()), TRUE);

  SendMessageW(certificateList_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

  buildColumns();
  buildRows();
  sortRows();
  return TRUE;
}

LRESULT CKorvelDlg::OnCancel(WORD, WORD id) {
  resultCode_ = kResultCancelled;
  cleanUpDialog();
  EndDialog(window(), id);
  return 0;
}

void CKorvelDlg::cleanUpDialog() {
  titleLine_ = nullptr;
  promptLine_ = nullptr;
  certificateList_ = nullptr;
  renewButton_ = nullptr;
  cancelButton_ = nullptr;
  titleFont_.reset();
}

// Places the dialog in the middle of the nearest monitor's work area, kept
// inside it.
void CKorvelDlg::centerDialog() {
  HWND dialog = window();
  RECT bounds{};
  GetWindowRect(dialog, &bounds);
  const LONG width = bounds.right - bounds.left;
  const LONG height = bounds.bottom - bounds.top;

  HMONITOR monitor = MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return;
  const RECT& work = info.rcWork;

  LONG x = (work.left + work.right) / 2 - width / 2;
  LONG y = (work.top + work.bottom) / 2 - height / 2;
  if (x + width > work.right) x = work.right - width;
  if (x < work.left) x = work.left;
  if (y + height > work.bottom) y = work.bottom - height;
  if (y < work.top) y = work.top;
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
