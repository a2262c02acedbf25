#include "registration/text/script_text.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace registration::text;

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

std::u16string widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Variables with names compared ignoring the case of A-Z.
class Variables : public VariableSource {
 public:
  Variables(std::initializer_list<std::pair<std::string, std::string>> entries) {
    for (auto& e : entries) entries_.emplace_back(widen(e.first), widen(e.second));
  }
  const char16_t* findVariable(const char16_t* name, std::size_t length) const override {
    std::u16string wanted(name, length);
    for (auto& e : entries_) {
      if (e.first.size() == length && equalsIgnoringCase(wanted.c_str(), narrow(e.first).c_str())) {
        return e.second.c_str();
      }
    }
    return nullptr;
  }

 private:
  std::vector<std::pair<std::u16string, std::u16string>> entries_;
};

const Variables kVariables{{"Module", "C:\\it''s\\k.dll"}, {"APPID", "{A}"}, {"Trap", "%APPID% HKCR {"}};

struct ExpandCase {
  const char* text;
  bool perUser;
  Status status;
  const char* expanded;
};

class ExpandTest : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandTest, Expands) {
  const ExpandCase& c = GetParam();
  std::u16string out;
  std::u16string text = widen(c.text);
  EXPECT_EQ(expandScript(text.c_str(), c.perUser, kVariables, &out), c.status);
  if (c.status == kOk) {
    EXPECT_EQ(narrow(out), c.expanded);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpandTest,
    ::testing::Values(
        ExpandCase{"", false, kOk, ""},
        ExpandCase{"x = s '%MODULE%'", false, kOk, "x = s 'C:\\it''s\\k.dll'"},
        ExpandCase{"'%module%'", false, kOk, "'C:\\it''s\\k.dll'"},
        ExpandCase{"100%% sure", false, kOk, "100% sure"},
        ExpandCase{"%%%APPID%%%", false, kOk, "%{A}%"},
        ExpandCase{"%Trap%", true, kOk, "%APPID% HKCR {"},
        ExpandCase{"%nothere%", false, kDispException, ""},
        ExpandCase{"tail %", false, kDispException, ""},
        ExpandCase{"%APPID", false, kDispException, ""},
        ExpandCase{"%abcdefghijklmnopqrstuvwxyz01234%", false, kDispException, ""},  // 31: looked up
        ExpandCase{"%abcdefghijklmnopqrstuvwxyz012345%", false, kFail, ""},          // 32
        ExpandCase{"HKCR\r\n{\r\n}\r\n", false, kOk, "HKCR\r\n{\r\n}\r\n"},
        ExpandCase{"HKCR\r\n{\r\n}\r\n", true, kOk,
                   "HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses\r\n{\r\n\r\n\t}\r\n}\r\n}\r\n"},
        ExpandCase{"hkcr { } HKEY_CLASSES_ROOT { }", true, kOk, "hkcr { } HKEY_CLASSES_ROOT { }"},
        ExpandCase{"HKCR { a { HKCR } } HKCR { }", true, kOk,
                   "HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses { a { HKCR } \r\n\t}\r\n}\r\n} "
                   "HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses { \r\n\t}\r\n}\r\n}"},
        // Braces inside quoted strings, with doubled quotes, do not count.
        ExpandCase{"HKCR { v = s 'a}''}' }", true, kOk,
                   "HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses { v = s 'a}''}' \r\n\t}\r\n}\r\n}"},
        ExpandCase{"HKCR { v = s '' } x", true, kOk,
                   "HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses { v = s '' \r\n\t}\r\n}\r\n} x"},
        // A quoted root is rewritten too (it then names no root and fails to
        // read), and each of several HKCR in a row is rewritten.
        ExpandCase{"'HKCR' { }", true, kOk,
                   "'HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses' { \r\n\t}\r\n}\r\n}"},
        ExpandCase{"HKCRHKCR { }", true, kOk,
                   "HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses"
                   "HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses { \r\n\t}\r\n}\r\n}"}));

TEST(ExpandTest, NullArgumentsArePointerErrors) {
  std::u16string out;
  EXPECT_EQ(expandScript(nullptr, false, kVariables, &out), kPointer);
  EXPECT_EQ(expandScript(u"x", false, kVariables, nullptr), kPointer);
}

std::vector<std::string> tokens(const std::u16string& text, Status* last) {
  Tokenizer reader(text);
  std::vector<std::string> out;
  std::u16string buffer(kTokenBufferSize, u'\0');
  for (;;) {
    *last = reader.readToken(&buffer[0]);
    if (*last != kOk) return out;
    out.push_back(narrow(buffer.c_str()));
  }
}

TEST(TokenizerTest, SplitsOnTheFourSpaceCharactersOnly) {
  Status last;
  auto got = tokens(u"a\tb\nc\rd e\vf{=}", &last);
  EXPECT_EQ(last, kDispException);
  EXPECT_EQ(got, (std::vector<std::string>{"a", "b", "c", "d", "e\vf{=}"}));
}

TEST(TokenizerTest, QuotedTokens) {
  Status last;
  auto got = tokens(u"'it''s' '' 'a { = }' ''''", &last);
  EXPECT_EQ(got, (std::vector<std::string>{"it's", "", "a { = }", "'"}));
  got = tokens(u"'open", &last);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(last, kDispException);
  got = tokens(u"'ends with doubled''", &last);
  EXPECT_EQ(last, kDispException);
}

TEST(TokenizerTest, TokenLengthLimit) {
  for (bool quoted : {false, true}) {
    for (std::size_t length : {kMaxTokenLength, kMaxTokenLength + 1}) {
      std::u16string body(length, u'x');
      std::u16string text = quoted ? u"'" + body + u"'" : body;
      Tokenizer reader(text);
      std::u16string buffer(kTokenBufferSize, u'\0');
      Status status = reader.readToken(&buffer[0]);
      if (length == kMaxTokenLength) {
        EXPECT_EQ(status, kOk);
        EXPECT_EQ(std::u16string(buffer.c_str()).size(), length);
      } else {
        EXPECT_EQ(status, kDispException);
      }
    }
  }
}

TEST(TokenizerTest, EmptyAndBlankTextsHaveNoToken) {
  Status last;
  EXPECT_TRUE(tokens(u"", &last).empty());
  EXPECT_EQ(last, kDispException);
  EXPECT_TRUE(tokens(u" \t\r\n", &last).empty());
  EXPECT_EQ(last, kDispException);
}

TEST(ValueTextTest, Binary) {
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(bytesFromHexText(u"0a1B", &bytes));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x0A, 0x1B}));
  ASSERT_TRUE(bytesFromHexText(u"zz", &bytes));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x00}));
  ASSERT_TRUE(bytesFromHexText(u"", &bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(bytesFromHexText(u"abc", &bytes));
}

TEST(ValueTextTest, MultiString) {
  std::u16string block = multiStringFromText(u"a\\0b");
  EXPECT_EQ(block, std::u16string(u"a\0b\0\0", 5));
  EXPECT_EQ(multiStringLength(block), 5u);
  block = multiStringFromText(u"a\\0\\0b");
  EXPECT_EQ(multiStringLength(block), 3u);  // "a", then the empty string ends the list
  block = multiStringFromText(u"");
  EXPECT_EQ(multiStringLength(block), 1u);
  block = multiStringFromText(u"x\\1\\");
  EXPECT_EQ(block, std::u16string(u"x\\1\\\0\0", 6));
}

TEST(KeywordTest, ProtectedNamesAndCase) {
  EXPECT_TRUE(isProtectedKeyName(u"clsid"));
  EXPECT_TRUE(isProtectedKeyName(u"Component Categories"));
  EXPECT_FALSE(isProtectedKeyName(u"CLSIDX"));
  EXPECT_TRUE(equalsIgnoringCase(u"FORCEremove", "ForceRemove"));
  EXPECT_FALSE(equalsIgnoringCase(u"ForceRemov", "ForceRemove"));
}

// An empty name is the parent key itself to the registry: ForceRemove '' would
// delete the parent with everything below it.
TEST(KeywordTest, KeyNamesAreSingleAndNotEmpty) {
  EXPECT_TRUE(isKeyName(u"KorveIE.2018.8.13"));
  EXPECT_TRUE(isKeyName(u" "));
  EXPECT_FALSE(isKeyName(u""));
  EXPECT_FALSE(isKeyName(u"Bad\\Name"));
}

TEST(CommandLineTest, UserMatchesFiveCharactersIgnoringCase) {
  for (const char16_t* yes : {u"user", u"USER", u"uSeR"}) EXPECT_TRUE(isUserCommandLine(yes));
  for (const char16_t* no : {u"users", u"user ", u"use", u"", u" user"}) EXPECT_FALSE(isUserCommandLine(no));
  EXPECT_FALSE(isUserCommandLine(nullptr));
}

}  // namespace
