#pragma once
// Reads a registration script, as the module's registration would run it,
// into rows of the installer's registry tables. No Windows calls.
#include <string>
#include <vector>

#include "registration/text/script_text.h"

namespace packaging {

enum class RowKind {
  Value,      // a string value (an empty name is the key's default value)
  CreateKey,  // a key without values, created and left in place
  OwnedKey,   // a key without values, created and removed with the product
  RemoveKey,  // a key removed with everything below it before writing
};

struct RegistryRow {
  RowKind kind = RowKind::Value;
  int root = 0;  // installer root: 0 HKCR, 1 HKCU, 2 HKLM, 3 HKU
  std::u16string key;
  std::u16string name;
  std::u16string value;
};

// Expands the script (variables, per-user root) and reads its registration
// entries into rows, in script order. Supports what registration scripts
// use for classes: plain keys, NoRemove, ForceRemove, Delete, val and
// string values; any other value type or a broken text is an error.
registration::text::Status readScriptRows(const char16_t* script, bool perUser,
                                          const registration::text::VariableSource& variables,
                                          std::vector<RegistryRow>* rows);

}  // namespace packaging
