#pragma once
#include <windows.h>

namespace framework {

// A modal dialog run from a template in the module's resources. The derived
// class receives every message through processWindowMessage.
class ModalDialog {
 public:
  ModalDialog() = default;
  ModalDialog(const ModalDialog&) = delete;
  ModalDialog& operator=(const ModalDialog&) = delete;
  virtual ~ModalDialog() = default;

  // Runs dialog template `templateId` of `module` modally. Gives the value
  // passed to EndDialog, or -1 when the template is missing or the dialog
  // cannot be created.
  INT_PTR runModal(HINSTANCE module, WORD templateId, HWND owner, LPARAM initParam);

  HWND window() const { return window_; }
  bool isOpen() const { return window_ != nullptr; }

 protected:
  // Returns true when the message was handled; `result` is then the dialog
  // procedure's answer (WM_INITDIALOG) or the message result (others).
  virtual bool processWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result) = 0;
  // Called after the dialog window's last message.
  virtual void onFinalMessage(HWND) {}

 private:
  static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
};

}  // namespace framework
