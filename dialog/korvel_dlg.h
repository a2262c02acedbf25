#pragma once
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/handles.h"
#include "framework/modal_dialog.h"
#include "signing/certificate_store.h"

// Result codes that SignRenewal hands to the page.
inline constexpr ULONG kResultSigned = 0;
inline constexpr ULONG kResultNothingSigned = 1;
inline constexpr ULONG kResultCancelled = 0x80001067;
inline constexpr ULONG kResultEmptyList = 0x80001091;

inline constexpr WORD kDialogTemplateId = 103;
inline constexpr int kTitleLineId = 1000;
inline constexpr int kPromptLineId = 1001;
inline constexpr int kCertificateListId = 1002;
inline constexpr int kColumnCount = 4;

// The certificate selection dialog. The control derives from it, so the
// handlers work directly on the control's scripting state kept here.
class CKorvelDlg : public framework::ModalDialog {
 public:
  // Runs the dialog modally; gives the EndDialog value or -1.
  INT_PTR runDialog(HWND owner);

 protected:
  // Scripting state of the control (read and written by the handlers).
  framework::UniqueBstr selIdText_;
  framework::UniqueBstr selIdTitle_;
  int64_t serverTime_ = 0;
  framework::UniqueBstr issuerDN_;
  framework::UniqueBstr certData_;
  ULONG resultCode_ = kResultSigned;

 private:
  bool processWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                            LRESULT& result) override;

  LRESULT OnInitDialog();
  LRESULT OnOK(WORD notifyCode, WORD id);
  LRESULT OnCancel(WORD notifyCode, WORD id);
  // The ways OnOK ends the dialog.
  LRESULT endWithResult(WORD id, ULONG resultCode);
  LRESULT endWithSigningFailure(WORD id);
  bool signWith(PCCERT_CONTEXT signer);
  LRESULT OnColumnClick(const NMLISTVIEW& notification);
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW& notification);

  void centerDialog();
  void cleanUpDialog();
  void buildColumns();
  void buildRows();
  // Work buffers of list building, taken once per run.
  struct RowBuffers {
    korvel::TextBuffer name;
    korvel::TextBuffer work;
  };
  bool addRow(PCCERT_CONTEXT certificate, int64_t notBefore, int64_t notAfter, RowBuffers& buffers);
  int checkValueDoor(PCCERT_CONTEXT certificate) const;
  int checkSymantecPrivate(PCCERT_CONTEXT certificate) const;
  void sortRows();
  static int CALLBACK compareRows(LPARAM a, LPARAM b, LPARAM dialog);

  // Handles of the five controls and the bold title font: only while open.
  HWND titleLine_ = nullptr;
  HWND promptLine_ = nullptr;
  HWND certificateList_ = nullptr;
  HWND renewButton_ = nullptr;
  HWND cancelButton_ = nullptr;
  framework::UniqueFont titleFont_;

  // Sort state, kept across runs. A direction of 0 means "column not made yet".
  int sortColumn_ = 0;
  std::array<int32_t, kColumnCount> sortDirections_{};

  // Serial-number text of each row, indexed by the row's item data.
  std::vector<std::wstring> rowSerials_;
  // The four shown texts of each row, parallel to rowSerials_: the sort
  // compares these instead of searching the list on every comparison.
  std::vector<std::array<std::wstring, kColumnCount>> rowTexts_;
};

// The module this code runs in (the DLL, or a test program).
HINSTANCE korvelModuleInstance();
