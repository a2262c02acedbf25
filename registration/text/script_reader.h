#pragma once
// Carries out a registration script in one direction on a key layer.
#include <string>

#include "registration/text/key_layer.h"
#include "registration/text/script_text.h"

namespace registration::text {

class CRegScriptReader {
 public:
  // `perUser`: every top-level HKCR root goes to HKCU\Software\Classes.
  CRegScriptReader(const VariableSource& registrar, KeyLayer& keys, bool perUser)
      : registrar_(registrar), keys_(keys), perUser_(perUser) {}

  // Runs a whole script text (UTF-16, null-terminated); an HRESULT.
  Status RunScript(const char16_t* script, bool doRegister);

 private:
  struct LevelBuffers;
  class OwnedKey;

  Status Expand(const char16_t* script, std::u16string* expanded);
  Status ReadToken(char16_t* token);
  void SkipSpace();
  Status SkipAssignment(char16_t* token, LevelBuffers& level);
  Status RunEntries(char16_t* token, KeyRef parent, bool doRegister, bool skipMode);
  Status RegisterEntries(char16_t* token, KeyRef parent, LevelBuffers& level);
  Status UnregisterEntries(char16_t* token, KeyRef parent, bool skipMode, LevelBuffers& level);
  Status UnregisterKeyBody(char16_t* token, KeyRef key, bool skipChildren, LevelBuffers& level);
  Status removeKey(OwnedKey& key, KeyRef parent, const char16_t* name, bool removable);
  Status SetValueFromScript(KeyRef key, const char16_t* valueName, char16_t* token, LevelBuffers& level);

  const VariableSource& registrar_;
  KeyLayer& keys_;
  bool perUser_;
  Tokenizer* reader_ = nullptr;
  bool undoing_ = false;  // unregistering a root block whose registration failed
};

}  // namespace registration::text
