#include "framework/modal_dialog.h"

#include <commctrl.h>

#include "framework/com_module.h"

namespace framework {
namespace {

// The dialogs whose windows are being created, newest first. Each entry
// lives on the stack of runModal; the first message of a new dialog window
// takes the entry of its thread and binds the window to that dialog, so the
// creation parameter stays the caller's own. A list under a lock instead of a
// thread-local variable: the emulated thread-local storage of this toolchain
// allocates on a thread's first use and ends the process when it cannot.
struct CreatingDialog {
  ModalDialog* dialog;
  DWORD threadId;
  CreatingDialog* next;
};

class CreatingDialogs {
 public:
  CreatingDialogs() {
    if (InitializeCriticalSectionAndSpinCount(&lock_, 0)) {
      lockCreated_ = true;
    } else {
      ComModule::markStartupFailedBeforeModule();
    }
  }
  ~CreatingDialogs() {
    if (lockCreated_) DeleteCriticalSection(&lock_);
  }
  CreatingDialogs(const CreatingDialogs&) = delete;
  CreatingDialogs& operator=(const CreatingDialogs&) = delete;

  void add(CreatingDialog& entry) {
    EnterCriticalSection(&lock_);
    entry.next = first_;
    first_ = &entry;
    LeaveCriticalSection(&lock_);
  }

  // Removes and gives the newest dialog of this thread, or null.
  ModalDialog* take(DWORD threadId) {
    EnterCriticalSection(&lock_);
    ModalDialog* found = nullptr;
    for (CreatingDialog** link = &first_; *link != nullptr; link = &(*link)->next) {
      if ((*link)->threadId != threadId) continue;
      found = (*link)->dialog;
      *link = (*link)->next;
      break;
    }
    LeaveCriticalSection(&lock_);
    return found;
  }

  // Removes `entry` if no window took it.
  void remove(CreatingDialog& entry) {
    EnterCriticalSection(&lock_);
    for (CreatingDialog** link = &first_; *link != nullptr; link = &(*link)->next) {
      if (*link != &entry) continue;
      *link = entry.next;
      break;
    }
    LeaveCriticalSection(&lock_);
  }

 private:
  CRITICAL_SECTION lock_{};
  bool lockCreated_ = false;
  CreatingDialog* first_ = nullptr;
};

CreatingDialogs creatingDialogs;

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

  CreatingDialog entry{this, GetCurrentThreadId(), nullptr};
  creatingDialogs.add(entry);
  INT_PTR result = DialogBoxIndirectParamW(module, dialogTemplate, owner, dialogProc, initParam);
  creatingDialogs.remove(entry);
  window_ = nullptr;
  return result;
}

INT_PTR CALLBACK ModalDialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* dialog = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (dialog == nullptr) {
    dialog = creatingDialogs.take(GetCurrentThreadId());
    if (dialog == nullptr) return FALSE;
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
