#include "dialog/korvel_dlg.h"

void CKorvelDlg::sortRows() {}

LRESULT CKorvelDlg::OnColumnClick(const NMLISTVIEW&) { return 0; }

int CALLBACK CKorvelDlg::compareRows(LPARAM, LPARAM, LPARAM) { return 0; }

LRESULT CKorvelDlg::OnCustomDraw(NMLVCUSTOMDRAW&) { return CDRF_DODEFAULT; }
