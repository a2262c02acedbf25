#include "framework/modal_dialog.h"

#include <commctrl.h>

namespace framework {
namespace {

// What WM_INITDIALOG carries: the dialog object and the caller's own
// parameter. No per-thread state is used, so nothing depends on the loader
// setting up thread-local storage for a late-loaded DLL.
struct Creation {
  ModalDialog* dialog;
  LPARAM callerParam;
};

void registerCommonControls() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
}

}  // namespace

INT_PTR ModalDialog::runModal(HINSTANCE module, WORD templateId, HWND owner, LPARAM initParam) {
  registerCommonControls();
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(templateId), MAKEINTRESOURCEW(5));
  HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
  auto* dialogTemplate = loaded != nullptr ? static_cast<LPCDLGTEMPLATEW>(LockResource(loaded)) : nullptr;
  if (dialogTemplate == nullptr) return -1;

  Creation creation{this, initParam};
  INT_PTR result = DialogBoxIndirectParamW(module, dialogTemplate, owner, dialogProc,
                                           reinterpret_cast<LPARAM>(&creation));
  window_ = nullptr;
  return result;
}

INT_PTR CALLBACK ModalDialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* dialog = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (dialog == nullptr) {
    // Messages before WM_INITDIALOG (such as WM_SETFONT) keep their defaults.
    if (message != WM_INITDIALOG) return FALSE;
    const auto* creation = reinterpret_cast<const Creation*>(lParam);
    dialog = creation->dialog;
    lParam = creation->callerParam;
    dialog->window_ = window;
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
  }
  return dialog->dispatch(window, message, wParam, lParam);
}

INT_PTR ModalDialog::dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  bool handled = processWindowMessage(window, message, wParam, lParam, result);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, DWLP_USER, 0);
    window_ = nullptr;
    onFinalMessage(window);
  }
  if (!handled) return FALSE;
  if (message == WM_INITDIALOG) return static_cast<INT_PTR>(result);
  SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace framework
