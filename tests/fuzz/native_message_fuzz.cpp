// Native messaging requests: the frame reader never reads past the input (it
// sits in an allocation of its exact size); an accepted request has five
// fields of valid UTF-16 (no unpaired surrogate, no U+0000) that go back to
// the same UTF-8; the answer the host would write decodes as a frame and
// reads back as the same JSON values. The caller read from the host's
// arguments is in one of the browsers' exact forms, and is served only when
// its ID is one of its browser's list.
// Input: a frame (4-byte length, JSON). When the frame does not decode, the
// bytes after the header are read as the JSON text all the same. The same
// bytes are also the host's arguments: split at each NUL byte, each decoded
// as UTF-8 (an argument that is not becomes U+FFFD).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "host/text/caller.h"
#include "host/text/native_message.h"

namespace {

using namespace korvel::host;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

bool isValidUtf16(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit == 0) return false;
    if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    }
  }
  return true;
}

void checkField(const std::u16string& field) {
  if (!isValidUtf16(field)) fail("an accepted field is not valid UTF-16");
  if (utf8ToUtf16(utf16ToUtf8(field)) != field) fail("a field does not go back to the same UTF-8");
}

void checkAnswer(const Request& request) {
  const std::string json = resultAnswer(0, request.title, request.data);
  const std::string frame = frameAnswer(json);
  const auto decoded = decodeFrame(frame);
  if (json.size() <= kLargestRequestBytes && (!decoded || *decoded != json)) fail("the answer frame does not decode");
  const auto answer = nlohmann::json::parse(json, nullptr, false);
  if (!answer.is_object() || answer.value("resultCode", 1u) != 0u ||
      answer.value("issuerDN", std::string()) != utf16ToUtf8(request.title) ||
      answer.value("certData", std::string()) != utf16ToUtf8(request.data)) {
    fail("the answer does not read back");
  }
}

void checkRequest(std::string_view json) {
  const auto request = parseRequest(json);
  if (!request) return;
  for (const std::u16string* field : {&request->title, &request->text, &request->serverDate, &request->data,
                                      &request->origin}) {
    checkField(*field);
  }
  checkAnswer(*request);
  isOriginServed(request->origin, "");
  isOriginServed(request->origin, "https://renew.korvel.test;https://*.sites.korvel.test:8443;http://127.0.0.1:8765");
}

constexpr char kChromeIds[] = "eflimgalpdonajhnpoenibjajjonioob;bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb";
constexpr char kFirefoxIds[] = "korvel-renewal-TEST-ONLY@korvel.test;{daf44bf7-a45e-4450-979c-91cf07434c3d}";

bool isListed(const std::string& id, std::string_view list) {
  std::string_view rest = list;
  while (true) {
    const size_t end = rest.find(';');
    if (rest.substr(0, end) == id) return true;
    if (end == std::string_view::npos) return false;
    rest.remove_prefix(end + 1);
  }
}

std::vector<std::u16string> argumentsOf(std::string_view input) {
  std::vector<std::u16string> arguments;
  while (true) {
    const size_t end = input.find('\0');
    arguments.push_back(utf8ToUtf16(input.substr(0, end)).value_or(u"\uFFFD"));
    if (end == std::string_view::npos) return arguments;
    input.remove_prefix(end + 1);
  }
}

void checkCallerArguments(const std::vector<std::u16string>& arguments) {
  const std::optional<Caller> caller = readCaller(arguments);
  const bool served = isCallerServed(arguments, kChromeIds, kFirefoxIds);
  if (!caller) {
    if (served) fail("a caller that does not read is served");
    return;
  }
  const std::u16string id(caller->id.begin(), caller->id.end());
  if (caller->browser == Browser::chrome) {
    if (!isChromeExtensionId(caller->id) || arguments[0] != u"chrome-extension://" + id + u"/") {
      fail("a Chrome caller is not in the exact form");
    }
  } else if (!isFirefoxAddonId(caller->id) || arguments.size() != 2 || arguments[1] != id) {
    fail("a Firefox caller is not in the exact form");
  }
  const std::string_view list = caller->browser == Browser::chrome ? kChromeIds : kFirefoxIds;
  if (served != isListed(caller->id, list)) fail("served does not follow the list");
  if (isCallerServed(arguments, "", "")) fail("served with no IDs");
}

// The arguments, then the same without the first (down to none at all).
void checkCaller(std::string_view input) {
  std::vector<std::u16string> arguments = argumentsOf(input);
  checkCallerArguments(arguments);
  arguments.erase(arguments.begin());
  checkCallerArguments(arguments);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto copy = std::make_unique<char[]>(size);
  if (size > 0) std::memcpy(copy.get(), data, size);
  const std::string_view input(copy.get(), size);
  checkCaller(input);
  const auto payload = decodeFrame(input);
  if (payload) {
    if (payload->data() < input.data() || payload->data() + payload->size() > input.data() + input.size()) {
      fail("the frame reaches past the input");
    }
    checkRequest(*payload);
  } else if (size > kFrameHeaderBytes) {
    checkRequest(input.substr(kFrameHeaderBytes));
  }
  return 0;
}
