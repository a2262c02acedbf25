#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "KorvelTool_h.h"

namespace testing_support {

struct DialogRun {
  HRESULT hr = E_FAIL;
  ULONG result = 0xFFFFFFFF;
  bool sawDialog = false;
};

// Calls SignRenewal on `control`; once the dialog is open (found by a timer
// of this thread, inside the modal loop) `onOpen` runs once with it. `onOpen`
// normally ends the dialog, for example with cancelDialog.
DialogRun runSignRenewal(IKorvelIE* control, const std::function<void(HWND dialog)>& onOpen);

// Posts the command the Cancel button sends.
void cancelDialog(HWND dialog);

// Sends the list's header click notification for `column` to the dialog.
void clickColumn(HWND dialog, HWND list, int column);

// The text of column `column` of list item `item`, up to 8191 characters.
std::wstring listText(HWND list, int item, int column);

// The text of a window.
std::wstring windowText(HWND window);

}  // namespace testing_support
