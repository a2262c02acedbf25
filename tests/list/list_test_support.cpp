#include "tests/list/list_test_support.h"

#include <gtest/gtest.h>

#include "framework/handles.h"
#include "tests/support/cert_store_setup.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/wide_text.h"

namespace list_testing {

std::wstring certificatePath(const wchar_t* file) {
  return testing_support::pathBesideProgram(std::wstring(L"..\\test-certs\\list\\") + file);
}

void useStore(const std::vector<StoreEntry>& entries) {
  ASSERT_EQ(testing_support::clearPersonalStore(), S_OK);
  for (const auto& entry : entries) {
    const auto der = testing_support::readFileBytes(certificatePath(entry.file));
    ASSERT_FALSE(der.empty()) << testing_support::utf8(entry.file);
    const std::wstring* friendly = entry.friendlyName ? &*entry.friendlyName : nullptr;
    ASSERT_EQ(testing_support::addCertificate(der, friendly), S_OK) << testing_support::utf8(entry.file);
  }
}

ListContent readList(HWND list) {
  ListContent content;
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  content.columnCount = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  RECT client{};
  GetClientRect(list, &client);
  content.clientWidth = client.right - client.left;
  for (int i = 0; i < 4 && i < content.columnCount; ++i) {
    wchar_t title[256] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = title;
    column.cchTextMax = 256;
    SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    content.titles[i] = title;
    content.widths[i] = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0));
  }
  const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int item = 0; item < count; ++item) {
    Row row;
    for (int sub = 0; sub < 4; ++sub) {
      row[sub] = testing_support::listText(list, item, sub);
    }
    LVITEMW param{};
    param.mask = LVIF_PARAM;
    param.iItem = item;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&param));
    content.rows.push_back(row);
    content.itemData.push_back(param.lParam);
  }
  return content;
}

void setServerTime(IKorvelIE* control, int64_t seconds) {
  framework::UniqueBstr text(testing_support::makeBstr(std::to_wstring(seconds * 1000)));
  ASSERT_EQ(control->put_Server_Date(text.get()), S_OK);
}

ListContent runAndRead(IKorvelIE* control, const std::function<void(HWND, HWND)>& act) {
  ListContent content;
  auto run = testing_support::runSignRenewal(control, [&](HWND dialog) {
    HWND list = GetDlgItem(dialog, 1002);
    if (act) act(dialog, list);
    content = readList(list);
    testing_support::cancelDialog(dialog);
  });
  EXPECT_TRUE(run.sawDialog);
  EXPECT_EQ(run.result, 0x80001067u);
  return content;
}

std::vector<std::wstring> columnTexts(const ListContent& content, int column) {
  std::vector<std::wstring> texts;
  for (const auto& row : content.rows) texts.push_back(row[column]);
  return texts;
}

}  // namespace list_testing
