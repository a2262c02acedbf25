#pragma once
// Text logic of registration scripts: expansion of variable references and
// of the per-user root, the tokenizer, and the conversion of value texts.
// No Windows calls; UTF-16 text as char16_t.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace registration::text {

// HRESULT values, as 32-bit numbers.
using Status = std::int32_t;
inline constexpr Status kOk = 0;
inline constexpr Status kFail = static_cast<Status>(0x80004005);
inline constexpr Status kPointer = static_cast<Status>(0x80004003);
inline constexpr Status kOutOfMemory = static_cast<Status>(0x8007000E);
inline constexpr Status kDispException = static_cast<Status>(0x80020009);

inline constexpr std::size_t kTokenBufferSize = 4096;
inline constexpr std::size_t kMaxTokenLength = 4094;
inline constexpr std::size_t kMaxVariableNameLength = 31;

// Start and end texts around the block of a rewritten per-user "HKCR" root.
inline constexpr char16_t kPerUserRootStart[] = u"HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses";
inline constexpr char16_t kPerUserRootEnd[] = u"\r\n\t}\r\n}\r\n";

// Where expansion finds the value of a variable; names ignore case.
class VariableSource {
 public:
  virtual ~VariableSource() = default;
  // The value of the first variable called name[0..length), or null.
  virtual const char16_t* findVariable(const char16_t* name, std::size_t length) const = 0;
};

// Replaces %NAME% references by their values ("%%" gives "%") and, in
// per-user mode, wraps every top-level "HKCR" root into HKCU\Software\Classes.
Status expandScript(const char16_t* text, bool perUser, const VariableSource& variables,
                    std::u16string* expanded);

bool isScriptSpace(char16_t c);
// Whole-string comparison ignoring the case of A-Z.
bool equalsIgnoringCase(const char16_t* text, const char* ascii);
bool isProtectedKeyName(const char16_t* name);
bool containsBackslash(const char16_t* text);
// One key name: not empty (the registry takes an empty name for the parent
// itself) and without a backslash (a path).
bool isKeyName(const char16_t* name);

// Reads tokens from an expanded script.
class Tokenizer {
 public:
  explicit Tokenizer(const std::u16string& text) : text_(text) {}

  void skipSpace();
  bool atEnd() const { return position_ >= text_.size(); }
  // Reads the next token into buffer (kTokenBufferSize characters).
  Status readToken(char16_t* buffer);
  std::size_t position() const { return position_; }
  void setPosition(std::size_t position) { position_ = position; }

 private:
  const std::u16string& text_;
  std::size_t position_ = 0;
};

// Bytes of a "b" value: two hexadecimal digits per byte, any other character
// counting as 0. False for an odd number of characters.
bool bytesFromHexText(const char16_t* text, std::vector<std::uint8_t>* bytes);

// Block of an "m" value: each backslash followed by "0" becomes a null, and
// two nulls end the block.
std::u16string multiStringFromText(const char16_t* text);
// Size in characters of a block's strings, each with its null, up to and
// including the first empty string.
std::size_t multiStringLength(const std::u16string& block);

// True for the DllInstall command line "user", in any case of its letters.
bool isUserCommandLine(const char16_t* commandLine);

}  // namespace registration::text
