#include <shlwapi.h>

#include "dialog/korvel_dlg.h"

namespace {
constexpr COLORREF kSelectedRowBackground = RGB(228, 228, 228);
}

void CKorvelDlg::sortRows() {
  SendMessageW(certificateList_, LVM_SORTITEMS, reinterpret_cast<WPARAM>(this),
               reinterpret_cast<LPARAM>(&CKorvelDlg::compareRows));
}

LRESULT CKorvelDlg::OnColumnClick(const NMLISTVIEW& notification) {
  if (notification.iSubItem < 0 || notification.iSubItem >= kColumnCount) return 0;
  sortColumn_ = notification.iSubItem;
  int32_t& direction = sortDirections_[sortColumn_];
  direction = direction == 1 ? -1 : 1;
  sortRows();
  return 0;
}

// Orders two rows by their texts in the sort column, in that column's
// direction. The texts are the ones the rows were built with, kept by row
// index, so a comparison costs no search in the list.
int CALLBACK CKorvelDlg::compareRows(LPARAM a, LPARAM b, LPARAM dialog) {
  const auto* self = reinterpret_cast<const CKorvelDlg*>(dialog);
  const int column = self->sortColumn_;
  if (column < 0 || column >= kColumnCount) return 0;
  auto textOf = [self, column](LPARAM row) -> const wchar_t* {
    if (row < 0 || static_cast<size_t>(row) >= self->rowTexts_.size()) return L"";
    return self->rowTexts_[static_cast<size_t>(row)][column].c_str();
  };
  return StrCmpW(textOf(a), textOf(b)) * self->sortDirections_[column];
}

LRESULT CKorvelDlg::OnCustomDraw(NMLVCUSTOMDRAW& notification) {
  switch (notification.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
      // The item carrying this row index; the search starts after index 0,
      // so finding nothing means the row is item 0.
      LVFINDINFOW find{};
      find.flags = LVFI_PARAM;
      find.lParam = notification.nmcd.lItemlParam;
      LRESULT item = SendMessageW(certificateList_, LVM_FINDITEMW, 0, reinterpret_cast<LPARAM>(&find));
      if (item < 0) item = 0;
      if (SendMessageW(certificateList_, LVM_GETITEMSTATE, item, LVIS_SELECTED) & LVIS_SELECTED)
        notification.clrTextBk = kSelectedRowBackground;
      return CDRF_DOERASE;
    }
    default:
      return CDRF_DODEFAULT;
  }
}
