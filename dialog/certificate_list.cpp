#include <time.h>

#include <cwchar>
#include <new>

#include "dialog/korvel_dlg.h"
#include "dialog/module_strings.h"
#include "dialog/text/date_text.h"
#include "dialog/text/renewal_window.h"
#include "signing/certificate_store.h"
#include "signing/eligibility_checks.h"

namespace {

struct ColumnSpec {
  UINT titleId;
  float share;
};

constexpr ColumnSpec kColumns[kColumnCount] = {
    {kStringColumnName, 0.2f},
    {kStringColumnNickname, 0.2f},
    {kStringColumnEndDate, 0.2f},
    {kStringColumnValidity, 0.4f},
};

// A validity time (UTC file time) as seconds since 1970 by way of local
// calendar time. Years before 1900 count as 0. False when the time cannot be
// converted (platform failure, or outside the runtime's 1970..3000 range).
bool validitySeconds(const FILETIME& utc, int64_t& seconds) {
  FILETIME local{};
  SYSTEMTIME fields{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &fields)) return false;
  if (fields.wYear < 1900) {
    seconds = 0;
    return true;
  }
  struct tm calendar {};
  calendar.tm_year = fields.wYear - 1900;
  calendar.tm_mon = fields.wMonth - 1;
  calendar.tm_mday = fields.wDay;
  calendar.tm_hour = fields.wHour;
  calendar.tm_min = fields.wMinute;
  calendar.tm_sec = fields.wSecond;
  calendar.tm_isdst = -1;
  const __time64_t result = _mktime64(&calendar);
  if (result == -1) return false;
  seconds = result;
  return true;
}

korvel::CalendarDate localDate(int64_t seconds) {
  const __time64_t time = seconds;
  const struct tm* calendar = _localtime64(&time);
  return calendar != nullptr ? korvel::calendarDateOf(*calendar) : korvel::CalendarDate{};
}

bool setSubItemText(HWND list, int item, int subItem, const std::wstring& text) {
  LVITEMW entry{};
  entry.mask = LVIF_TEXT;
  entry.iItem = item;
  entry.iSubItem = subItem;
  entry.pszText = const_cast<wchar_t*>(text.c_str());
  return SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&entry)) != 0;
}

}  // namespace

int CKorvelDlg::checkValueDoor(PCCERT_CONTEXT certificate) const { return korvel::checkValueDoor(certificate); }

int CKorvelDlg::checkSymantecPrivate(PCCERT_CONTEXT certificate) const {
  return korvel::checkSymantecPrivate(certificate);
}

void CKorvelDlg::buildColumns() {
  ModuleString titles[kColumnCount];
  for (int i = 0; i < kColumnCount; ++i) titles[i] = loadModuleString(kColumns[i].titleId);

  RECT client{};
  GetClientRect(certificateList_, &client);
  const LONG width = client.right - client.left;

  for (int i = 0; i < kColumnCount; ++i) {
    // A direction of 0 means the column was never made on this control.
    if (sortDirections_[i] == 0) sortDirections_[i] = 1;
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = static_cast<int>(width * static_cast<double>(kColumns[i].share));
    column.pszText = titles[i].data();
    SendMessageW(certificateList_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
}

namespace {

// Stops the list from redrawing while rows are added and lets it draw the
// whole result afterwards. Redrawing after every insertion costs the list
// several milliseconds per row even before the dialog is shown.
class RedrawPause {
 public:
  explicit RedrawPause(HWND list) : list_(list) { SendMessageW(list_, WM_SETREDRAW, FALSE, 0); }
  ~RedrawPause() {
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
  }
  RedrawPause(const RedrawPause&) = delete;
  RedrawPause& operator=(const RedrawPause&) = delete;

 private:
  HWND list_;
};

}  // namespace

void CKorvelDlg::buildRows() {
  rowSerials_.clear();
  rowTexts_.clear();
  const korvel::RenewalWindow window = korvel::renewalWindowAround(serverTime_);

  // Without memory for the work buffers the list stays empty.
  RowBuffers buffers{korvel::newTextBuffer(), korvel::newTextBuffer()};
  if (!buffers.name || !buffers.work) return;

  framework::UniqueCertStore store = korvel::openPersonalStore();
  if (!store) return;

  framework::UniqueCertContext certificate;
  RedrawPause pause(certificateList_);
  try {
    while (korvel::nextCertificate(store.get(), certificate)) {
      if (checkValueDoor(certificate.get()) != 1 && checkSymantecPrivate(certificate.get()) != 1) continue;
      // A time that cannot be converted leaves the certificate out of the list.
      int64_t notBefore = 0;
      int64_t notAfter = 0;
      const CERT_INFO& info = *certificate.get()->pCertInfo;
      if (!validitySeconds(info.NotBefore, notBefore) || !validitySeconds(info.NotAfter, notAfter)) continue;
      if (!window.contains(notAfter)) continue;
      addRow(certificate.get(), notBefore, notAfter, buffers);
    }
  } catch (const std::bad_alloc&) {
    // Out of memory: the list keeps the rows added so far, each with its
    // row-table entry.
  }
}

// Adds one row at the end of the list with its row-table entry. The entry is
// stored before the item exists, so that every item's row index is valid.
bool CKorvelDlg::addRow(PCCERT_CONTEXT certificate, int64_t notBefore, int64_t notAfter, RowBuffers& buffers) {
  std::array<std::wstring, kColumnCount> texts;
  korvel::subjectName(certificate, buffers.name.get());
  texts[0] = buffers.name.get();
  korvel::friendlyName(certificate, buffers.work.get());
  if (wcscmp(buffers.work.get(), buffers.name.get()) != 0) texts[1] = buffers.work.get();
  const korvel::CalendarDate from = localDate(notBefore);
  const korvel::CalendarDate to = localDate(notAfter);
  texts[2] = korvel::dateText(to);
  texts[3] = korvel::validityText(from, to);
  korvel::serialText(certificate, buffers.work.get());
  std::wstring serial = buffers.work.get();

  const int row = static_cast<int>(rowSerials_.size());
  rowSerials_.push_back(std::move(serial));
  try {
    rowTexts_.push_back(std::move(texts));
  } catch (const std::bad_alloc&) {
    rowSerials_.pop_back();
    throw;
  }

  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_PARAM;
  item.iItem = row;
  item.iSubItem = 0;
  item.pszText = const_cast<wchar_t*>(rowTexts_[row][0].c_str());
  item.lParam = row;
  if (SendMessageW(certificateList_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) == -1) {
    rowTexts_.pop_back();
    rowSerials_.pop_back();
    return false;
  }
  for (int column = 1; column < kColumnCount; ++column)
    setSubItemText(certificateList_, row, column, rowTexts_[row][column]);
  return true;
}
