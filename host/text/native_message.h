#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One message of the browsers' native messaging: a 32-bit length in native
// byte order, then that many bytes of UTF-8 JSON.
namespace korvel::host {

constexpr size_t kFrameHeaderBytes = 4;
// The largest request read; a renewal request is a few kilobytes.
constexpr uint32_t kLargestRequestBytes = 1024 * 1024;

// The answers that are not a result code: each a short, stable word.
//   bad-request          framing, UTF-8, JSON or a field is wrong
//   origin-not-allowed   the requesting origin may not use the control
//   control-unavailable  KorvelTool.dll missing, or its class gives no control
//   sign-failed          SignRenewal failed for another reason than the origin
//   caller-not-allowed   the browser named no extension of this build (see caller.h)
inline constexpr char kBadRequest[] = "bad-request";
inline constexpr char kOriginNotAllowed[] = "origin-not-allowed";
inline constexpr char kControlUnavailable[] = "control-unavailable";
inline constexpr char kSignFailed[] = "sign-failed";
inline constexpr char kCallerNotAllowed[] = "caller-not-allowed";

// The five strings of a request, as UTF-16 for the control.
struct Request {
  std::u16string title;
  std::u16string text;
  std::u16string serverDate;
  std::u16string data;
  std::u16string origin;
};

// The length a frame header announces, or nullopt when it is 0 or larger
// than kLargestRequestBytes. `header` must hold kFrameHeaderBytes bytes.
std::optional<uint32_t> announcedLength(std::string_view header);

// The JSON text of the one frame at the start of `buffer`, or nullopt when
// the header is short, its length refused, or fewer bytes follow than it
// announces. Bytes after the frame are not looked at.
std::optional<std::string_view> decodeFrame(std::string_view buffer);

// Reads a request: a JSON object (valid UTF-8 throughout) with the string
// fields title, text, serverDate, data and origin, none holding U+0000.
// Other fields are ignored. nullopt means bad-request.
std::optional<Request> parseRequest(std::string_view json);

// The answer's JSON text: the result code, and the two outputs when it is 0.
std::string resultAnswer(uint32_t resultCode, std::u16string_view issuerDN, std::u16string_view certData);
// {"error": word}
std::string errorAnswer(std::string_view word);

// `json` with its header in front.
std::string frameAnswer(std::string_view json);

// Whether a request from `origin` is served: with an empty allowed list any
// https origin, otherwise one that the list allows. Either way `origin` must
// be an origin alone ("scheme://host[:port]", nothing after it).
bool isOriginServed(std::u16string_view origin, std::string_view allowedOrigins);

// Strict UTF-8 to UTF-16 (no overlong forms, surrogates or values above
// U+10FFFF); nullopt on any invalid byte sequence.
std::optional<std::u16string> utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

}  // namespace korvel::host
