// Native messaging requests: the frame reader never reads past the input (it
// sits in an allocation of its exact size); an accepted request has five
// fields of valid UTF-16 (no unpaired surrogate, no U+0000) that go back to
// the same UTF-8; the answer the host would write decodes as a frame and
// reads back as the same JSON values.
// Input: a frame (4-byte length, JSON). When the frame does not decode, the
// bytes after the header are read as the JSON text all the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto copy = std::make_unique<char[]>(size);
  if (size > 0) std::memcpy(copy.get(), data, size);
  const std::string_view input(copy.get(), size);
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
