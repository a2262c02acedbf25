#include "dialog/korvel_dlg.h"

// The list's columns and rows (filled in by the certificate list work).
void CKorvelDlg::buildColumns() {}

void CKorvelDlg::buildRows() { rowSerials_.clear(); }
