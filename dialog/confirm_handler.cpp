#include "dialog/korvel_dlg.h"

// The renew button (signing arrives with the signing work).
LRESULT CKorvelDlg::OnOK(WORD, WORD) { return 0; }
