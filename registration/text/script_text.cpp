#include "registration/text/script_text.h"

#include <new>

namespace registration::text {
namespace {

char16_t foldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool startsWith(const char16_t* text, const char16_t* prefix) {
  for (; *prefix != 0; ++text, ++prefix) {
    if (*text != *prefix) return false;
  }
  return true;
}

class Expander {
 public:
  Expander(const char16_t* text, bool perUser, const VariableSource& variables, std::u16string* out)
      : text_(text), perUser_(perUser), variables_(variables), out_(*out) {}

  Status run() {
    std::size_t length = std::char_traits<char16_t>::length(text_);
    out_.clear();
    out_.reserve(length < 100 ? 1000 : 2 * length);
    for (std::size_t i = 0; text_[i] != 0;) {
      if (perUser_) i = trackPerUser(i);
      if (text_[i] == 0) break;
      if (text_[i] == u'%') {
        Status status = appendReference(&i);
        if (status != kOk) return status;
        continue;
      }
      if (escapedQuote_) {
        out_ += u"''";
        escapedQuote_ = false;
        i += 2;
        continue;
      }
      out_ += text_[i++];
    }
    return kOk;
  }

 private:
  // Per-user bookkeeping at position i: root rewriting, quotes, braces.
  // Returns the position of the character still to be copied.
  std::size_t trackPerUser(std::size_t i) {
    // Every position at depth 0 is checked, inside quotes too: a quoted
    // 'HKCR' root must not slip through to the machine-wide classes.
    while (depth_ == 0 && startsWith(text_ + i, u"HKCR")) {
      out_ += kPerUserRootStart;
      rewritten_ = true;
      i += 4;
    }
    char16_t c = text_[i];
    if (c == u'\'') {
      if (!inQuote_) {
        inQuote_ = true;
      } else if (text_[i + 1] == u'\'') {
        escapedQuote_ = true;
      } else {
        inQuote_ = false;
      }
    } else if (!inQuote_ && c == u'{') {
      ++depth_;
    } else if (!inQuote_ && c == u'}') {
      if (--depth_ == 0 && rewritten_) {
        out_ += kPerUserRootEnd;
        rewritten_ = false;
      }
    }
    return i;
  }

  Status appendReference(std::size_t* i) {
    const char16_t* start = text_ + *i + 1;
    if (*start == u'%') {
      out_ += u'%';
      *i += 2;
      return kOk;
    }
    const char16_t* end = start;
    while (*end != 0 && *end != u'%') ++end;
    if (*end == 0) return kDispException;
    std::size_t length = static_cast<std::size_t>(end - start);
    if (length > kMaxVariableNameLength) return kFail;
    const char16_t* value = variables_.findVariable(start, length);
    if (value == nullptr) return kDispException;
    out_ += value;
    *i += length + 2;
    return kOk;
  }

  const char16_t* text_;
  bool perUser_;
  const VariableSource& variables_;
  std::u16string& out_;
  int depth_ = 0;
  bool inQuote_ = false;
  bool rewritten_ = false;
  bool escapedQuote_ = false;
};

constexpr const char* kProtectedKeyNames[] = {
    "AppID", "CLSID", "Component Categories", "FileType", "Interface", "Hardware",
    "Mime",  "SAM",   "SECURITY",             "SYSTEM",   "Software",  "TypeLib",
};

int hexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return 0;
}

}  // namespace

Status expandScript(const char16_t* text, bool perUser, const VariableSource& variables,
                    std::u16string* expanded) {
  if (text == nullptr || expanded == nullptr) return kPointer;
  try {
    return Expander(text, perUser, variables, expanded).run();
  } catch (const std::bad_alloc&) {
    return kOutOfMemory;
  }
}

bool isScriptSpace(char16_t c) { return c == u'\t' || c == u'\n' || c == u'\r' || c == u' '; }

bool equalsIgnoringCase(const char16_t* text, const char* ascii) {
  for (;; ++text, ++ascii) {
    if (foldAscii(*text) != foldAscii(static_cast<char16_t>(static_cast<unsigned char>(*ascii)))) return false;
    if (*text == 0) return true;
  }
}

bool isProtectedKeyName(const char16_t* name) {
  for (const char* candidate : kProtectedKeyNames) {
    if (equalsIgnoringCase(name, candidate)) return true;
  }
  return false;
}

bool containsBackslash(const char16_t* text) {
  for (; *text != 0; ++text) {
    if (*text == u'\\') return true;
  }
  return false;
}

void Tokenizer::skipSpace() {
  while (position_ < text_.size() && isScriptSpace(text_[position_])) ++position_;
}

Status Tokenizer::readToken(char16_t* buffer) {
  skipSpace();
  if (atEnd()) return kDispException;
  std::size_t length = 0;
  auto append = [&](char16_t c) {
    if (length + 1 > kMaxTokenLength) return false;
    buffer[length++] = c;
    return true;
  };
  if (text_[position_] == u'\'') {
    ++position_;
    for (;;) {
      if (atEnd()) return kDispException;
      char16_t c = text_[position_];
      if (c == u'\'') {
        if (position_ + 1 >= text_.size() || text_[position_ + 1] != u'\'') break;
        ++position_;
      }
      if (!append(c)) return kDispException;
      ++position_;
    }
    ++position_;
  } else {
    while (!atEnd() && !isScriptSpace(text_[position_])) {
      if (!append(text_[position_])) return kDispException;
      ++position_;
    }
  }
  buffer[length] = 0;
  return kOk;
}

bool isKeyName(const char16_t* name) { return name[0] != 0 && !containsBackslash(name); }

bool bytesFromHexText(const char16_t* text, std::vector<std::uint8_t>* bytes) {
  std::size_t length = std::char_traits<char16_t>::length(text);
  if (length % 2 != 0) return false;
  bytes->resize(length / 2);
  for (std::size_t k = 0; k < length / 2; ++k) {
    (*bytes)[k] = static_cast<std::uint8_t>(16 * hexDigitValue(text[2 * k]) + hexDigitValue(text[2 * k + 1]));
  }
  return true;
}

std::u16string multiStringFromText(const char16_t* text) {
  std::u16string block;
  block.reserve(std::char_traits<char16_t>::length(text) + 2);
  for (; *text != 0; ++text) {
    if (text[0] == u'\\' && text[1] == u'0') {
      block += u'\0';
      ++text;
    } else {
      block += *text;
    }
  }
  block += u'\0';
  block += u'\0';
  return block;
}

std::size_t multiStringLength(const std::u16string& block) {
  std::size_t i = 0;
  while (i < block.size()) {
    std::size_t end = block.find(u'\0', i);
    if (end == std::u16string::npos) return block.size();
    if (end == i) return i + 1;  // the empty string that ends the list
    i = end + 1;
  }
  return block.size();
}

bool isUserCommandLine(const char16_t* commandLine) {
  static constexpr char16_t kUser[] = u"user";
  if (commandLine == nullptr) return false;
  for (std::size_t i = 0; i < 5; ++i) {
    if (foldAscii(commandLine[i]) != kUser[i]) return false;
    if (commandLine[i] == 0) break;
  }
  return true;
}

}  // namespace registration::text
