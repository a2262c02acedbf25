// Registration script text: variable expansion per machine and per user,
// the tokenizer, the "b" and "m" value texts and the DllInstall command
// line. Every text ends at the end of an allocation of its exact size and
// every token buffer has exactly its stated size, so a read or write past
// either stops the run.
//
// Input: one byte (bit 0: per-user mode), then the text, one byte per
// character (bytes 80-FF stand for themselves as Latin-1 characters).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "registration/text/script_text.h"

namespace {

using namespace registration::text;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool sameIgnoringCase(const std::u16string& a, const char16_t* b, size_t length) {
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

class Variables : public VariableSource {
 public:
  const char16_t* findVariable(const char16_t* name, size_t length) const override {
    for (const auto& entry : kEntries) {
      if (sameIgnoringCase(entry.first, name, length)) return entry.second.c_str();
    }
    return nullptr;
  }

 private:
  const std::vector<std::pair<std::u16string, std::u16string>> kEntries = {
      {u"Module", u"C:\\it''s\\KorvelTool.dll"},
      {u"Module_Raw", u"C:\\it''s\\KorvelTool.dll"},
      {u"APPID", u"{F3613BF7-BF7B-4FD8-8134-E8C409BC5FFE}"},
      {u"Trap", u"%APPID% HKCR { '"},
      {u"A234567890123456789012345678901", u"31"},
  };
};

const Variables kVariables;

// Expansion per machine: "%%" gives "%", "%NAME%" the value, nothing else changes.
Status referenceExpansion(const std::u16string& text, std::u16string* out) {
  out->clear();
  for (size_t i = 0; i < text.size();) {
    if (text[i] != u'%') {
      *out += text[i++];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == u'%') {
      *out += u'%';
      i += 2;
      continue;
    }
    const size_t end = text.find(u'%', i + 1);
    if (end == std::u16string::npos) return kDispException;
    const size_t length = end - i - 1;
    if (length > kMaxVariableNameLength) return kFail;
    const char16_t* value = kVariables.findVariable(text.c_str() + i + 1, length);
    if (value == nullptr) return kDispException;
    *out += value;
    i = end + 1;
  }
  return kOk;
}

void checkExpansion(const char16_t* text, bool perUser, std::u16string* expanded) {
  std::u16string reference;
  const Status expected = referenceExpansion(text, &reference);
  Status status = expandScript(text, false, kVariables, expanded);
  if (status != expected || (status == kOk && *expanded != reference)) fail("expansion differs from the reference");
  if (!perUser) return;
  std::u16string perUserText;
  status = expandScript(text, true, kVariables, &perUserText);
  if (std::u16string(text).find(u"HKCR") == std::u16string::npos) {
    // Without a root to rewrite, per-user expansion is the same as per machine.
    if (status != expected || (status == kOk && perUserText != reference)) fail("per-user expansion differs");
  }
  if (status == kOk) *expanded = perUserText;
}

void checkTokens(const std::u16string& text) {
  std::unique_ptr<char16_t[]> token(new char16_t[kTokenBufferSize]);
  Tokenizer reader(text);
  for (;;) {
    const size_t before = reader.position();
    if (reader.readToken(token.get()) != kOk) return;
    size_t length = 0;
    while (length < kTokenBufferSize && token[length] != 0) ++length;
    if (length > kMaxTokenLength) fail("token over the limit");
    if (reader.position() <= before || reader.position() > text.size()) fail("read position wrong");
  }
}

int hexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return 0;
}

void checkValueTexts(const char16_t* text) {
  const std::u16string value(text);
  std::vector<uint8_t> bytes;
  const bool even = bytesFromHexText(text, &bytes);
  if (even != (value.size() % 2 == 0)) fail("binary text parity wrong");
  if (even) {
    if (bytes.size() != value.size() / 2) fail("binary size wrong");
    for (size_t k = 0; k < bytes.size(); ++k) {
      if (bytes[k] != 16 * hexValue(value[2 * k]) + hexValue(value[2 * k + 1])) fail("binary byte wrong");
    }
  }

  const std::u16string block = multiStringFromText(text);
  std::u16string expected;
  for (size_t i = 0; i < value.size(); ++i) {
    const bool separator = value[i] == u'\\' && i + 1 < value.size() && value[i + 1] == u'0';
    expected += separator ? u'\0' : value[i];
    if (separator) ++i;
  }
  expected += u'\0';
  expected += u'\0';
  if (block != expected) fail("multi-string block wrong");
  const size_t length = multiStringLength(block);
  if (length == 0 || length > block.size() || block[length - 1] != 0 || (length > 1 && block[length - 2] != 0)) {
    fail("multi-string length does not end at an empty string");
  }
  for (size_t i = 0; i + 1 < length - 1; ++i) {
    if (block[i] == 0 && block[i + 1] == 0) fail("multi-string length past the first empty string");
  }
  if (block[0] == 0 && length != 1) fail("multi-string length past a leading empty string");
}

void checkCommandLine(const char16_t* text) {
  const std::u16string line(text);
  const bool user = sameIgnoringCase(line, u"user", 4);
  if (isUserCommandLine(text) != user) fail("command line read wrongly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool perUser = (data[0] & 1) != 0;
  const size_t length = size - 1;
  std::unique_ptr<char16_t[]> text(new char16_t[length + 1]);
  for (size_t i = 0; i < length; ++i) text[i] = data[1 + i];
  text[length] = 0;

  std::u16string expanded;
  checkExpansion(text.get(), perUser, &expanded);
  checkTokens(expanded.empty() ? std::u16string(text.get()) : expanded);
  checkValueTexts(text.get());
  checkCommandLine(text.get());
  return 0;
}
