#include "signing/text/base64.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring encode(const std::vector<uint8_t>& bytes, size_t capacity = 8192) {
  std::vector<wchar_t> out(capacity, L'#');
  size_t length = 0;
  if (!korvel::encodeBase64(bytes.data(), bytes.size(), out.data(), capacity, &length)) return L"<no fit>";
  EXPECT_EQ(out[length], L'\0');
  return std::wstring(out.data(), length);
}

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Coreutils' encoder, its LF line ends turned into CR LF.
std::wstring referenceText(const std::vector<uint8_t>& bytes) {
  char path[] = "/tmp/korvel-base64-XXXXXX";
  int fd = mkstemp(path);
  FILE* file = fdopen(fd, "wb");
  if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
  std::string command = std::string("base64 -w 64 ") + path;
  FILE* pipe = popen(command.c_str(), "r");
  std::wstring text;
  for (int c = fgetc(pipe); c != EOF; c = fgetc(pipe)) {
    if (c == '\n') text += L'\r';
    text += static_cast<wchar_t>(c);
  }
  pclose(pipe);
  remove(path);
  return text;
}

struct KnownText {
  const char* input;
  const wchar_t* text;
};

TEST(Base64, KnownTexts) {
  const KnownText cases[] = {
      {"", L""},
      {"f", L"Zg==\r\n"},
      {"fo", L"Zm8=\r\n"},
      {"foo", L"Zm9v\r\n"},
      {"foob", L"Zm9vYg==\r\n"},
      {"fooba", L"Zm9vYmE=\r\n"},
      {"foobar", L"Zm9vYmFy\r\n"},
      {"\xfb\xff\xbf", L"+/+/\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(encode(bytesOf(c.input)), c.text) << c.input;
}

// Every length from 0 to 200, against an independent encoder: full lines of
// 64 characters each ending in CR LF, the last line too.
TEST(Base64, MatchesReferenceForLengths0To200) {
  std::vector<uint8_t> bytes;
  for (size_t size = 0; size <= 200; ++size) {
    const std::wstring text = encode(bytes);
    EXPECT_EQ(text, referenceText(bytes)) << "length " << size;
    EXPECT_EQ(text.size(), korvel::base64TextLength(size)) << "length " << size;
    bytes.push_back(static_cast<uint8_t>(size * 37 + 11));
  }
}

TEST(Base64, LinesOf64CharactersEachEndingInCrLf) {
  const std::wstring text = encode(std::vector<uint8_t>(100, 0xA5));
  ASSERT_EQ(text.size(), 136u + 3 * 2);
  EXPECT_EQ(text.substr(64, 2), L"\r\n");
  EXPECT_EQ(text.substr(130, 2), L"\r\n");
  EXPECT_EQ(text.substr(text.size() - 2), L"\r\n");
}

// 5955 bytes are the most that fit 8191 characters and a null.
TEST(Base64, OutputLimitOf8191Characters) {
  EXPECT_EQ(korvel::base64TextLength(5955), 8190u);
  EXPECT_GT(korvel::base64TextLength(5956), 8191u);
  EXPECT_NE(encode(std::vector<uint8_t>(5955, 1)), L"<no fit>");
  EXPECT_EQ(encode(std::vector<uint8_t>(5956, 1)), L"<no fit>");
}

TEST(Base64, TooSmallBufferIsLeftUntouched) {
  const std::vector<uint8_t> bytes = bytesOf("foobar");  // 8 characters + CR LF
  std::vector<wchar_t> out(11, L'#');
  size_t length = 99;
  EXPECT_FALSE(korvel::encodeBase64(bytes.data(), bytes.size(), out.data(), 10, &length));
  EXPECT_EQ(length, 99u);
  for (wchar_t c : out) EXPECT_EQ(c, L'#');
  EXPECT_TRUE(korvel::encodeBase64(bytes.data(), bytes.size(), out.data(), 11, &length));
  EXPECT_EQ(std::wstring(out.data(), length), L"Zm9vYmFy\r\n");
  EXPECT_EQ(out[10], L'\0');
}

TEST(Base64, EmptyInputNeedsRoomForTheNullOnly) {
  wchar_t out[1] = {L'#'};
  size_t length = 99;
  EXPECT_TRUE(korvel::encodeBase64(nullptr, 0, out, 1, &length));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(out[0], L'\0');
  EXPECT_FALSE(korvel::encodeBase64(nullptr, 0, out, 0, &length));
}

}  // namespace

namespace {

bool decodes(const std::string& text, std::vector<uint8_t>* bytes) {
  return korvel::decodeBase64(text.data(), text.size(), bytes);
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

TEST(Base64Decode, ReadsBothFormsOfEveryLength) {
  for (size_t size = 0; size <= 200; ++size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    const std::string lines = narrow(encode(bytes));
    std::string oneLine;
    for (char c : lines) {
      if (c != '\r' && c != '\n') oneLine += c;
    }
    std::vector<uint8_t> decoded;
    EXPECT_TRUE(decodes(lines, &decoded) && decoded == bytes) << size;
    EXPECT_TRUE(decodes(oneLine, &decoded) && decoded == bytes) << size;
    if (size > 0) {
      // The last CR LF may be missing, as when a page trims the text.
      EXPECT_TRUE(decodes(lines.substr(0, lines.size() - 2), &decoded) && decoded == bytes) << size;
    }
  }
}

TEST(Base64Decode, RefusesEverythingElse) {
  const std::string line64(64, 'A');
  const char* const refused[] = {
      "Zg=",              // not whole groups
      "Zg",               // no padding
      "Z===",             // one character of a group
      "Zh==",             // unused bits not zero
      "Zm9=",             // unused bits not zero
      "Zg==Zg==",         // padding inside
      "Zm9v\n",           // LF alone
      "Zm9v\r",           // CR alone
      "Zm9v\r\n\r\n",     // an empty line
      "\r\nZm9v",         // starts with a line end
      "Zm 9v",            // a space
      "Zm9v*A==",         // not the alphabet
      "Zm9v-_==",         // the URL alphabet
  };
  std::vector<uint8_t> bytes{1, 2, 3};
  for (const char* text : refused) {
    EXPECT_FALSE(decodes(text, &bytes)) << text;
    EXPECT_TRUE(bytes.empty()) << text;
  }
  // Line form: only the last line may be short, none longer than 64.
  EXPECT_TRUE(decodes(line64 + "\r\n" + line64 + "\r\nAAAA\r\n", &bytes));
  EXPECT_FALSE(decodes(line64 + "\r\nAAAA\r\n" + line64 + "\r\n", &bytes));
  EXPECT_FALSE(decodes(line64 + "AAAA\r\nAAAA\r\n", &bytes));
  EXPECT_FALSE(decodes(line64 + "\r\n" + line64 + "AAAA", &bytes));
  // One line without line breaks may be of any length.
  EXPECT_TRUE(decodes(line64 + line64 + "AAAA", &bytes));
  EXPECT_EQ(bytes.size(), 99u);
  EXPECT_FALSE(korvel::decodeBase64(nullptr, 0, &bytes));
}

}  // namespace
