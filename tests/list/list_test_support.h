#pragma once
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "KorvelTool_h.h"

namespace list_testing {

// 2026-03-01 00:00:00 UTC and 2026-09-15 00:00:00 UTC.
inline constexpr int64_t kMarch2026 = 1772323200;
inline constexpr int64_t kSeptember2026 = 1789430400;

struct StoreEntry {
  const wchar_t* file = nullptr;  // in the list test certificates' folder
  std::optional<std::wstring> friendlyName = std::nullopt;
};

// Makes "MY" hold exactly these certificates (in this order of adding).
void useStore(const std::vector<StoreEntry>& entries);

// The path of a list test certificate.
std::wstring certificatePath(const wchar_t* file);

using Row = std::array<std::wstring, 4>;

// What the dialog's list shows.
struct ListContent {
  std::vector<Row> rows;          // in item order
  std::vector<LPARAM> itemData;   // in item order
  std::array<std::wstring, 4> titles;
  std::array<int, 4> widths{};
  int columnCount = 0;
  LONG clientWidth = 0;
};

ListContent readList(HWND list);

// Sets Server_Date (seconds) on the control.
void setServerTime(IKorvelIE* control, int64_t seconds);

// Runs SignRenewal, reads the list once the dialog is open, lets `act` work
// on the open dialog, reads the list again and cancels. Gives the list as it
// was after `act`.
ListContent runAndRead(IKorvelIE* control, const std::function<void(HWND dialog, HWND list)>& act = {});

// Column `column` of every row, in item order.
std::vector<std::wstring> columnTexts(const ListContent& content, int column);

}  // namespace list_testing
