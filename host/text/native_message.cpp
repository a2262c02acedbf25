#include "host/text/native_message.h"

#include <cstring>
#include <utility>
#include <nlohmann/json.hpp>

#include "control/text/site_lock.h"

namespace korvel::host {
namespace {

using Json = nlohmann::json;

// Length of the UTF-8 sequence that starts with `lead`, 0 when it is no lead byte.
size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The code point of a complete sequence, or nullopt when it is overlong, a
// surrogate or above U+10FFFF.
std::optional<char32_t> decodeSequence(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (bytes.size() == 1) return lead;
  char32_t value = lead & (0x7F >> bytes.size());
  for (size_t i = 1; i < bytes.size(); ++i) {
    const auto next = static_cast<unsigned char>(bytes[i]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    value = (value << 6) | (next & 0x3F);
  }
  static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < smallest[bytes.size()] || value > 0x10FFFF) return std::nullopt;
  if (value >= 0xD800 && value <= 0xDFFF) return std::nullopt;
  return value;
}

void appendUtf16(char32_t value, std::u16string& out) {
  if (value < 0x10000) {
    out.push_back(static_cast<char16_t>(value));
    return;
  }
  value -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
}

void appendUtf8(char32_t value, std::string& out) {
  if (value < 0x80) {
    out.push_back(static_cast<char>(value));
  } else if (value < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (value >> 6)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else if (value < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (value >> 12)));
    out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (value >> 18)));
    out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  }
}

// One string field of the request object, as UTF-16 without U+0000.
std::optional<std::u16string> stringField(const Json& object, const char* name) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_string()) return std::nullopt;
  std::optional<std::u16string> text = utf8ToUtf16(found->get_ref<const std::string&>());
  if (!text || text->find(u'\0') != std::u16string::npos) return std::nullopt;
  return text;
}

std::string dumpAnswer(const Json& answer) {
  // The answer's strings are UTF-8 made here; replace never throws.
  return answer.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::optional<uint32_t> announcedLength(std::string_view header) {
  if (header.size() < kFrameHeaderBytes) return std::nullopt;
  uint32_t length = 0;
  std::memcpy(&length, header.data(), sizeof length);
  if (length == 0 || length > kLargestRequestBytes) return std::nullopt;
  return length;
}

std::optional<std::string_view> decodeFrame(std::string_view buffer) {
  const std::optional<uint32_t> length = announcedLength(buffer);
  if (!length || buffer.size() - kFrameHeaderBytes < *length) return std::nullopt;
  return buffer.substr(kFrameHeaderBytes, *length);
}

std::optional<Request> parseRequest(std::string_view json) {
  if (!utf8ToUtf16(json)) return std::nullopt;
  const Json object = Json::parse(json.begin(), json.end(), nullptr, false);
  if (!object.is_object()) return std::nullopt;  // also a failed parse: is_discarded
  Request request;
  const std::pair<const char*, std::u16string*> fields[] = {
      {"title", &request.title}, {"text", &request.text}, {"serverDate", &request.serverDate},
      {"data", &request.data},   {"origin", &request.origin}};
  for (const auto& [name, target] : fields) {
    std::optional<std::u16string> value = stringField(object, name);
    if (!value) return std::nullopt;
    *target = std::move(*value);
  }
  return request;
}

std::string resultAnswer(uint32_t resultCode, std::u16string_view issuerDN, std::u16string_view certData) {
  Json answer = Json::object();
  answer["resultCode"] = resultCode;
  if (resultCode == 0) {
    answer["issuerDN"] = utf16ToUtf8(issuerDN);
    answer["certData"] = utf16ToUtf8(certData);
  }
  return dumpAnswer(answer);
}

std::string errorAnswer(std::string_view word) {
  Json answer = Json::object();
  answer["error"] = std::string(word);
  return dumpAnswer(answer);
}

std::string frameAnswer(std::string_view json) {
  const auto length = static_cast<uint32_t>(json.size());
  std::string frame(kFrameHeaderBytes, '\0');
  std::memcpy(&frame[0], &length, sizeof length);
  frame.append(json);
  return frame;
}

bool isOriginServed(std::u16string_view origin, std::string_view allowedOrigins) {
  if (!isOrigin(origin)) return false;
  if (allowedOrigins.empty()) return isHttpsOrigin(origin);
  return isUrlAllowed(origin, allowedOrigins);
}

std::optional<std::u16string> utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t length = sequenceLength(static_cast<unsigned char>(text[i]));
    if (length == 0 || text.size() - i < length) return std::nullopt;
    const std::optional<char32_t> value = decodeSequence(text.substr(i, length));
    if (!value) return std::nullopt;
    appendUtf16(*value, out);
    i += length;
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t value = text[i];
    const bool high = value >= 0xD800 && value <= 0xDBFF;
    const bool lowFollows = i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    if (high && lowFollows) {
      value = 0x10000 + ((value - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (value >= 0xD800 && value <= 0xDFFF) {
      value = 0xFFFD;
    }
    appendUtf8(value, out);
  }
  return out;
}

}  // namespace korvel::host
