#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "control/text/site_lock.h"
#include "host/text/caller.h"
#include "host/text/native_message.h"

namespace {

using korvel::host::decodeFrame;
using korvel::host::parseRequest;

std::string header(uint32_t length) {
  std::string bytes(4, '\0');
  std::memcpy(&bytes[0], &length, 4);
  return bytes;
}

const char kGood[] =
    R"({"title":"証明書の更新","text":"選んでください","serverDate":"1772323200000","data":"申請 2026","origin":"https://renew.korvel.test"})";

struct FrameCase {
  const char* name;
  std::string bytes;
  bool decodes;
};

TEST(NativeMessageFrame, DecodesOnlyWholeFramesOfAllowedLength) {
  const std::string body = "{}";
  const FrameCase cases[] = {
      {"empty input", "", false},
      {"two header bytes", std::string("\x02\x00", 2), false},
      {"length 0", header(0), false},
      {"length over 1 MiB", header(1024 * 1024 + 1) + std::string(1024 * 1024 + 1, ' '), false},
      {"fewer bytes than announced", header(3) + body, false},
      {"exact", header(2) + body, true},
      {"trailing bytes ignored", header(2) + body + "xyz", true},
      {"length 1 MiB", header(1024 * 1024) + std::string(1024 * 1024, ' '), true},
  };
  for (const FrameCase& c : cases) {
    const auto payload = decodeFrame(c.bytes);
    EXPECT_EQ(payload.has_value(), c.decodes) << c.name;
    if (payload && c.bytes.size() < 100) {
      EXPECT_EQ(*payload, body) << c.name;
    }
  }
}

struct RequestCase {
  const char* name;
  std::string json;
  bool accepted;
};

TEST(NativeMessageRequest, AcceptsOnlyFiveStringFieldsOfValidUtf8) {
  const RequestCase cases[] = {
      {"good", kGood, true},
      {"unknown field ignored",
       R"({"title":"t","text":"x","serverDate":"1","data":"d","origin":"https://a.test","extra":[1,2]})", true},
      {"escaped non-BMP character", R"({"title":"\ud83d\ude00","text":"","serverDate":"","data":"","origin":""})",
       true},
      {"invalid JSON", R"({"title":"t",)", false},
      {"JSON array", R"(["t","x","1","d","https://a.test"])", false},
      {"JSON string", R"("text")", false},
      {"field missing", R"({"title":"t","text":"x","serverDate":"1","data":"d"})", false},
      {"field a number", R"({"title":"t","text":"x","serverDate":1772323200000,"data":"d","origin":"https://a.test"})",
       false},
      {"field null", R"({"title":null,"text":"x","serverDate":"1","data":"d","origin":"https://a.test"})", false},
      {"invalid UTF-8 in a string", "{\"title\":\"\xC3\x28\",\"text\":\"\",\"serverDate\":\"\",\"data\":\"\",\"origin\":\"\"}",
       false},
      {"overlong UTF-8", "{\"title\":\"\xC0\xAF\",\"text\":\"\",\"serverDate\":\"\",\"data\":\"\",\"origin\":\"\"}", false},
      {"UTF-8 surrogate", "{\"title\":\"\xED\xA0\x80\",\"text\":\"\",\"serverDate\":\"\",\"data\":\"\",\"origin\":\"\"}",
       false},
      {"lone escaped surrogate", R"({"title":"\ud800","text":"","serverDate":"","data":"","origin":""})", false},
      {"escaped U+0000", R"({"title":"a\u0000b","text":"","serverDate":"","data":"","origin":""})", false},
      {"invalid UTF-8 outside strings", "{\"title\":\"\",\"text\":\"\",\"serverDate\":\"\",\"data\":\"\",\"origin\":\"\"}\xFF",
       false},
      {"trailing garbage", std::string(kGood) + "{}", false},
  };
  for (const RequestCase& c : cases) {
    EXPECT_EQ(parseRequest(c.json).has_value(), c.accepted) << c.name;
  }
}

TEST(NativeMessageRequest, GivesTheFieldsAsUtf16) {
  const auto request = parseRequest(kGood);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->title, u"証明書の更新");
  EXPECT_EQ(request->text, u"選んでください");
  EXPECT_EQ(request->serverDate, u"1772323200000");
  EXPECT_EQ(request->data, u"申請 2026");
  EXPECT_EQ(request->origin, u"https://renew.korvel.test");
}

TEST(NativeMessageAnswer, CarriesTheOutputsOnlyWithResultZero) {
  using korvel::host::resultAnswer;
  EXPECT_EQ(resultAnswer(0, u"MII\r\n", u"MIC\r\n"),
            R"({"certData":"MIC\r\n","issuerDN":"MII\r\n","resultCode":0})");
  EXPECT_EQ(resultAnswer(0x80001067u, u"data", u""), R"({"resultCode":2147487847})");
  EXPECT_EQ(korvel::host::errorAnswer(korvel::host::kBadRequest), R"({"error":"bad-request"})");
  const std::string json = korvel::host::errorAnswer(korvel::host::kSignFailed);
  EXPECT_EQ(decodeFrame(korvel::host::frameAnswer(json)), json);
}

TEST(NativeMessageText, ConvertsBetweenUtf8AndUtf16) {
  EXPECT_EQ(korvel::host::utf8ToUtf16("a\xC3\xA9\xE6\x9B\xB4\xF0\x9F\x98\x80"), u"a\u00e9\u66f4\U0001F600");
  EXPECT_FALSE(korvel::host::utf8ToUtf16("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(korvel::host::utf8ToUtf16("\xE6\x9B"));          // cut short
  EXPECT_EQ(korvel::host::utf16ToUtf8(u"\u66f4\U0001F600"), "\xE6\x9B\xB4\xF0\x9F\x98\x80");
  EXPECT_EQ(korvel::host::utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

struct OriginCase {
  const char16_t* origin;
  bool servedUnlocked;
  bool servedLocked;
};

TEST(NativeMessageOrigin, UnlockedServesHttpsOriginsLockedTheList) {
  const char locked[] = "https://renew.korvel.test;https://*.sites.korvel.test:8443;http://127.0.0.1:8765";
  const OriginCase cases[] = {
      {u"https://renew.korvel.test", true, true},
      {u"https://a.sites.korvel.test:8443", true, true},
      {u"http://127.0.0.1:8765", false, true},
      {u"https://other.test", true, false},
      {u"http://renew.korvel.test", false, false},
      {u"https://renew.korvel.test/", false, false},
      {u"https://renew.korvel.test/path", false, false},
      {u"https://renew.korvel.test?x", false, false},
      {u"https://user@renew.korvel.test", false, false},
      {u"chrome-extension://abcdefghijklmnop", false, false},
      {u"null", false, false},
      {u"", false, false},
      {u"https://", false, false},
  };
  for (const OriginCase& c : cases) {
    const std::u16string_view origin = c.origin;
    EXPECT_EQ(korvel::host::isOriginServed(origin, ""), c.servedUnlocked) << korvel::host::utf16ToUtf8(origin);
    EXPECT_EQ(korvel::host::isOriginServed(origin, locked), c.servedLocked) << korvel::host::utf16ToUtf8(origin);
    EXPECT_EQ(korvel::isHttpsOrigin(origin), c.servedUnlocked) << korvel::host::utf16ToUtf8(origin);
  }
}

// The same table cmake/ExtensionIds.cmake is checked against at test time.
TEST(ExtensionIdSettings, ReadAsTheSharedTableSays) {
  std::ifstream table(KORVEL_EXTENSION_ID_TABLE);
  ASSERT_TRUE(table) << KORVEL_EXTENSION_ID_TABLE;
  std::string line;
  int cases = 0;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    ++cases;
    const size_t verdictAt = line.find(' ');
    ASSERT_NE(verdictAt, std::string::npos) << line;
    const std::string kind = line.substr(0, verdictAt);
    const std::string verdict = line.substr(verdictAt + 1, line.find(' ', verdictAt + 1) - verdictAt - 1);
    const size_t idAt = verdictAt + 1 + verdict.size() + 1;
    const std::string id = idAt < line.size() ? line.substr(idAt) : std::string();
    ASSERT_TRUE(verdict == "ok" || verdict == "bad") << line;
    ASSERT_TRUE(kind == "chrome" || kind == "firefox") << line;
    const bool accepted =
        kind == "chrome" ? korvel::host::isChromeExtensionId(id) : korvel::host::isFirefoxAddonId(id);
    EXPECT_EQ(accepted, verdict == "ok") << line;
  }
  EXPECT_GT(cases, 30);
}

constexpr char16_t kTestChrome[] = u"chrome-extension://eflimgalpdonajhnpoenibjajjonioob/";
constexpr char16_t kTestFirefox[] = u"korvel-renewal-TEST-ONLY@korvel.test";
constexpr char16_t kManifest[] = u"C:\\Program Files\\KorvelTool\\com.korvel.renewal.firefox.json";
constexpr char kChromeIds[] = "eflimgalpdonajhnpoenibjajjonioob;bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb";
constexpr char kFirefoxIds[] = "korvel-renewal-TEST-ONLY@korvel.test;{daf44bf7-a45e-4450-979c-91cf07434c3d}";

struct CallerCase {
  const char* name;
  std::vector<std::u16string> arguments;
  bool served;
};

TEST(NativeMessageCaller, ServesOnlyTheListedExtensionsInTheBrowsersForms) {
  const CallerCase cases[] = {
      {"Chrome", {kTestChrome}, true},
      {"Chrome, the second listed ID", {u"chrome-extension://bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb/"}, true},
      {"Edge with --parent-window", {kTestChrome, u"--parent-window=1234"}, true},
      {"Chrome with further arguments", {kTestChrome, u"--parent-window=0", u"x"}, true},
      {"Firefox", {kManifest, kTestFirefox}, true},
      {"Firefox, a listed GUID", {kManifest, u"{daf44bf7-a45e-4450-979c-91cf07434c3d}"}, true},
      {"Firefox on Unix", {u"/home/u/.mozilla/native-messaging-hosts/com.korvel.renewal.json", kTestFirefox}, true},
      {"Firefox, UNC path", {u"\\\\server\\share\\com.korvel.renewal.firefox.json", kTestFirefox}, true},
      {"Firefox, forward slashes, upper-case .JSON", {u"D:/KorvelTool/HOST.JSON", kTestFirefox}, true},
      {"Firefox, non-ASCII path", {u"C:\\Users\\鈴木\\com.korvel.renewal.json", kTestFirefox}, true},
      {"no arguments", {}, false},
      {"one empty argument", {u""}, false},
      {"two empty arguments", {u"", u""}, false},
      {"unknown Chrome ID", {u"chrome-extension://aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/"}, false},
      {"unknown Firefox ID", {kManifest, u"other-addon@example.test"}, false},
      {"Chrome ID without the slash", {u"chrome-extension://eflimgalpdonajhnpoenibjajjonioob"}, false},
      {"Chrome ID with two slashes", {u"chrome-extension://eflimgalpdonajhnpoenibjajjonioob//"}, false},
      {"Chrome ID with a path", {u"chrome-extension://eflimgalpdonajhnpoenibjajjonioob/x"}, false},
      {"Chrome ID in upper case", {u"chrome-extension://EFLIMGALPDONAJHNPOENIBJAJJONIOOB/"}, false},
      {"scheme in upper case", {u"CHROME-EXTENSION://eflimgalpdonajhnpoenibjajjonioob/"}, false},
      {"another scheme", {u"moz-extension://eflimgalpdonajhnpoenibjajjonioob/"}, false},
      {"scheme alone", {u"chrome-extension://"}, false},
      {"Chrome ID alone", {u"eflimgalpdonajhnpoenibjajjonioob"}, false},
      {"Chrome ID cut short", {u"chrome-extension://eflimgalpdonajhnpoenibjajjonioo/"}, false},
      {"Chrome ID after --parent-window", {u"--parent-window=0", kTestChrome}, false},
      {"leading space", {u" chrome-extension://eflimgalpdonajhnpoenibjajjonioob/"}, false},
      {"full-width letter in the ID", {u"chrome-extension://eflimgalpdonajhnpoenibjajjonioo\uFF42/"}, false},
      {"Firefox ID in the Chrome form", {u"chrome-extension://korvel-renewal-TEST-ONLY@korvel.test/"}, false},
      {"Chrome ID in the Firefox form", {kManifest, u"eflimgalpdonajhnpoenibjajjonioob"}, false},
      {"Firefox ID alone", {kTestFirefox}, false},
      {"manifest path alone", {kManifest}, false},
      {"Firefox arguments reversed", {kTestFirefox, kManifest}, false},
      {"Firefox, relative manifest path", {u"com.korvel.renewal.json", kTestFirefox}, false},
      {"Firefox, manifest not .json", {u"C:\\KorvelTool\\KorvelHost.exe", kTestFirefox}, false},
      {"Firefox, a third argument", {kManifest, kTestFirefox, u"x"}, false},
      {"Firefox ID cut short", {kManifest, u"korvel-renewal-TEST-ONLY@korvel.tes"}, false},
      {"Firefox ID's tail", {kManifest, u"renewal-TEST-ONLY@korvel.test"}, false},
      {"Firefox ID in another case", {kManifest, u"KORVEL-RENEWAL-TEST-ONLY@KORVEL.TEST"}, false},
      {"Firefox ID with a trailing space", {kManifest, u"korvel-renewal-TEST-ONLY@korvel.test "}, false},
      {"two listed Firefox IDs as one", {kManifest, kTestFirefox + std::u16string(u";{x}")}, false},
  };
  for (const CallerCase& c : cases) {
    EXPECT_EQ(korvel::host::isCallerServed(c.arguments, kChromeIds, kFirefoxIds), c.served) << c.name;
  }
}

TEST(NativeMessageCaller, ReadsTheBrowserAndIdAndServesNoneWithEmptyLists) {
  using korvel::host::Browser;
  const auto chrome = korvel::host::readCaller({kTestChrome, u"--parent-window=7"});
  ASSERT_TRUE(chrome);
  EXPECT_EQ(chrome->browser, Browser::chrome);
  EXPECT_EQ(chrome->id, "eflimgalpdonajhnpoenibjajjonioob");
  const auto firefox = korvel::host::readCaller({kManifest, kTestFirefox});
  ASSERT_TRUE(firefox);
  EXPECT_EQ(firefox->browser, Browser::firefox);
  EXPECT_EQ(firefox->id, "korvel-renewal-TEST-ONLY@korvel.test");
  // A build with no IDs: every caller refused, an empty ID never matches.
  EXPECT_FALSE(korvel::host::isCallerServed({kTestChrome}, "", ""));
  EXPECT_FALSE(korvel::host::isCallerServed({kManifest, kTestFirefox}, "", ""));
  EXPECT_FALSE(korvel::host::isCallerServed({kManifest, kTestFirefox}, kChromeIds, "x@y;;z@w"));
  EXPECT_EQ(korvel::host::errorAnswer(korvel::host::kCallerNotAllowed), R"({"error":"caller-not-allowed"})");
}

}  // namespace
