// The module's dialog template and string table, read back from the DLL.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/korvel_dll.h"

using testing_support::KorvelDll;

namespace {

// Reads an extended dialog template field by field.
class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* data) : p_(data), start_(data) {}
  WORD word() { return take<WORD>(); }
  DWORD dword() { return take<DWORD>(); }
  short shortValue() { return take<short>(); }
  // A name or ordinal field: ordinals come back as "#<number>".
  std::wstring nameOrOrdinal() {
    WORD first = peek();
    if (first == 0xFFFF) {
      word();
      return L"#" + std::to_wstring(word());
    }
    return text();
  }
  std::wstring text() {
    std::wstring out;
    for (WORD c; (c = word()) != 0;) out += static_cast<wchar_t>(c);
    return out;
  }
  void alignDword() {
    while ((p_ - start_) % 4 != 0) ++p_;
  }

 private:
  template <typename T>
  T take() {
    T value;
    std::memcpy(&value, p_, sizeof(T));
    p_ += sizeof(T);
    return value;
  }
  WORD peek() {
    WORD value;
    std::memcpy(&value, p_, sizeof(value));
    return value;
  }
  const BYTE* p_;
  const BYTE* start_;
};

const BYTE* loadResource(LPCWSTR type, WORD id, WORD language) {
  HMODULE module = KorvelDll::instance().module();
  HRSRC resource = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
  if (resource == nullptr) return nullptr;
  return static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
}

constexpr WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN);

struct ItemTemplate {
  std::wstring windowClass;
  DWORD id;
  std::wstring text;
  DWORD style;
  short x, y, cx, cy;
};

TEST(Resources, DialogTemplateIsExactlyTheSelectionDialog) {
  const BYTE* data = loadResource(MAKEINTRESOURCEW(5), 103, kJapanese);
  ASSERT_NE(data, nullptr);
  TemplateReader reader(data);
  EXPECT_EQ(reader.word(), 1);       // version
  EXPECT_EQ(reader.word(), 0xFFFF);  // extended template
  EXPECT_EQ(reader.dword(), 0u);     // help id
  EXPECT_EQ(reader.dword(), 0u);     // extended style
  EXPECT_EQ(reader.dword(), 0x80C800C0u);
  EXPECT_EQ(reader.word(), 7);  // controls
  EXPECT_EQ(reader.shortValue(), 0);
  EXPECT_EQ(reader.shortValue(), 0);
  EXPECT_EQ(reader.shortValue(), 299);
  EXPECT_EQ(reader.shortValue(), 250);
  EXPECT_EQ(reader.nameOrOrdinal(), L"");  // menu
  EXPECT_EQ(reader.nameOrOrdinal(), L"");  // standard dialog class
  EXPECT_EQ(reader.text(), L"証明書更新");
  EXPECT_EQ(reader.word(), 10);   // point size
  EXPECT_EQ(reader.word(), 400);  // weight
  BYTE italicAndCharset[2];
  WORD both = reader.word();
  std::memcpy(italicAndCharset, &both, 2);
  EXPECT_EQ(italicAndCharset[0], 0);
  EXPECT_EQ(italicAndCharset[1], 128);
  EXPECT_EQ(reader.text(), L"MS UI Gothic");

  const ItemTemplate expected[] = {
      {L"#130", 1000, L"???????", 0x50020200, 7, 7, 285, 15},
      {L"#130", 0xFFFFFFFF, L"", 0x50800010, 7, 30, 286, 1},
      {L"#130", 1001, L"???????", 0x50020200, 7, 35, 285, 15},
      {L"SysListView32", 1002, L"", 0x50810805, 7, 60, 285, 117},
      {L"#130", 0xFFFFFFFF, L"", 0x50800010, 8, 199, 284, 1},
      {L"#128", 2, L"", 0x50010000, 229, 206, 50, 20},
      {L"#128", 1, L"", 0x50010000, 170, 207, 50, 20},
  };
  for (const ItemTemplate& item : expected) {
    reader.alignDword();
    EXPECT_EQ(reader.dword(), 0u);  // help id
    EXPECT_EQ(reader.dword(), 0u);  // extended style
    EXPECT_EQ(reader.dword(), item.style) << item.id;
    EXPECT_EQ(reader.shortValue(), item.x);
    EXPECT_EQ(reader.shortValue(), item.y);
    EXPECT_EQ(reader.shortValue(), item.cx);
    EXPECT_EQ(reader.shortValue(), item.cy);
    EXPECT_EQ(reader.dword(), item.id);
    EXPECT_EQ(reader.nameOrOrdinal(), item.windowClass) << item.id;
    EXPECT_EQ(reader.nameOrOrdinal(), item.text) << item.id;
    EXPECT_EQ(reader.word(), 0) << "no creation data for " << item.id;
  }
}

TEST(Resources, StringTableHoldsTheJapaneseTexts) {
  const std::pair<UINT, const wchar_t*> strings[] = {
      {40000, L"名前"},     {40001, L"ニックネーム"},
      {40002, L"期間終了日"}, {40003, L"有効期間"},
      {40004, L"署名データの作成ができませんでした。"},
      {40005, L"更新(R)"},  {40006, L"キャンセル(A)"},
  };
  for (const auto& [id, text] : strings) {
    wchar_t buffer[256] = {};
    LoadStringW(KorvelDll::instance().module(), id, buffer, 256);
    EXPECT_STREQ(buffer, text) << id;
  }
  // The table is stored in language 1041.
  EXPECT_NE(loadResource(MAKEINTRESOURCEW(6), 40000 / 16 + 1, kJapanese), nullptr);
}

TEST(Resources, TypeLibraryIsResourceOneInJapanese) {
  EXPECT_NE(loadResource(L"TYPELIB", 1, kJapanese), nullptr);
}

TEST(Resources, VersionResourceDescribesTheFile) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(testing_support::korvelDllPath(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(testing_support::korvelDllPath(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), 1);
  wchar_t* description = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041104B0\\FileDescription",
                             reinterpret_cast<void**>(&description), &length));
  EXPECT_NE(std::wstring(description).find(L"KorvelTool"), std::wstring::npos);
}

}  // namespace
