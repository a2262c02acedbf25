#include "packaging/msireg/registry_rows.h"

namespace packaging {
namespace {

using registration::text::equalsIgnoringCase;
using registration::text::kFail;
using registration::text::kOk;
using registration::text::kTokenBufferSize;
using registration::text::Status;
using registration::text::Tokenizer;

struct Root {
  const char* name;
  int root;
};
const Root kRoots[] = {
    {"HKCR", 0}, {"HKCU", 1}, {"HKLM", 2}, {"HKU", 3},
    {"HKEY_CLASSES_ROOT", 0}, {"HKEY_CURRENT_USER", 1}, {"HKEY_LOCAL_MACHINE", 2}, {"HKEY_USERS", 3},
};

class ScriptRowReader {
 public:
  ScriptRowReader(const std::u16string& text, std::vector<RegistryRow>* rows) : tokens_(text), rows_(rows) {}

  // Reads every root block of the script.
  Status readScript() {
    tokens_.skipSpace();
    while (!tokens_.atEnd()) {
      Status status = next();
      if (status != kOk) return status;
      if (!rootNamed(token_.c_str(), &root_)) return kFail;
      if ((status = next()) != kOk) return status;
      if (token_ != u"{") return kFail;
      if ((status = readEntries(u"")) != kOk) return status;
      tokens_.skipSpace();
    }
    return kOk;
  }

 private:
  static bool rootNamed(const char16_t* name, int* root) {
    for (const Root& candidate : kRoots) {
      if (equalsIgnoringCase(name, candidate.name)) {
        *root = candidate.root;
        return true;
      }
    }
    return false;
  }

  // Reads the entries of one block up to its closing brace.
  Status readEntries(const std::u16string& parent) {
    Status status = next();
    while (status == kOk && token_ != u"}") {
      status = readEntry(parent);
    }
    return status;
  }

  Status next() {
    char16_t buffer[kTokenBufferSize];
    Status status = tokens_.readToken(buffer);
    if (status == kOk) token_ = buffer;
    return status;
  }

  static std::u16string childPath(const std::u16string& parent, const std::u16string& name) {
    return parent.empty() ? name : parent + u"\\" + name;
  }

  void add(RowKind kind, const std::u16string& key, const std::u16string& name, const std::u16string& value) {
    rows_->push_back(RegistryRow{kind, root_, key, name, value});
  }

  // After "=": a type letter and a quoted value; only strings are installed.
  Status readStringValue(std::u16string* value) {
    Status status = next();
    if (status != kOk) return status;
    if (!equalsIgnoringCase(token_.c_str(), "s")) return kFail;
    tokens_.skipSpace();
    if ((status = next()) != kOk) return status;
    *value = token_;
    return next();
  }

  Status readEntry(const std::u16string& parent) {
    Status status = kOk;
    bool forceRemove = false, noRemove = false;
    if (equalsIgnoringCase(token_.c_str(), "Delete")) {
      if ((status = next()) != kOk) return status;
      add(RowKind::RemoveKey, childPath(parent, token_), u"", u"");
      if ((status = next()) != kOk) return status;
      if (token_ == u"=") {
        std::u16string ignored;
        return readStringValue(&ignored);
      }
      return token_ == u"{" ? kFail : kOk;
    }
    if (equalsIgnoringCase(token_.c_str(), "ForceRemove")) {
      forceRemove = true;
      if ((status = next()) != kOk) return status;
    }
    if (equalsIgnoringCase(token_.c_str(), "NoRemove")) {
      noRemove = true;
      if ((status = next()) != kOk) return status;
    }
    if (equalsIgnoringCase(token_.c_str(), "val")) {
      if ((status = next()) != kOk) return status;
      std::u16string name = token_;
      if ((status = next()) != kOk) return status;
      if (token_ != u"=") return kFail;
      std::u16string value;
      if ((status = readStringValue(&value)) != kOk) return status;
      add(RowKind::Value, parent, name, value);
      return kOk;
    }
    if (registration::text::containsBackslash(token_.c_str())) return kFail;
    std::u16string key = childPath(parent, token_);
    if (forceRemove && !registration::text::isProtectedKeyName(token_.c_str())) add(RowKind::RemoveKey, key, u"", u"");
    size_t firstRow = rows_->size();
    if ((status = next()) != kOk) return status;
    if (token_ == u"=") {
      std::u16string value;
      if ((status = readStringValue(&value)) != kOk) return status;
      add(RowKind::Value, key, u"", value);
    }
    if (token_ == u"{") {
      if ((status = readEntries(key)) != kOk) return status;
      status = next();
    }
    bool wroteBelow = false;
    for (size_t i = firstRow; i < rows_->size(); ++i) wroteBelow |= (*rows_)[i].kind != RowKind::RemoveKey;
    // A key with nothing in it still exists after registration. The installer
    // removes it with the product only where unregistration removes it for sure.
    if (!wroteBelow) add(forceRemove && !noRemove ? RowKind::OwnedKey : RowKind::CreateKey, key, u"", u"");
    return status;
  }

  Tokenizer tokens_;
  int root_ = 0;
  std::vector<RegistryRow>* rows_;
  std::u16string token_;
};

}  // namespace

Status readScriptRows(const char16_t* script, bool perUser, const registration::text::VariableSource& variables,
                      std::vector<RegistryRow>* rows) {
  std::u16string expanded;
  Status status = registration::text::expandScript(script, perUser, variables, &expanded);
  if (status != kOk) return status;
  return ScriptRowReader(expanded, rows).readScript();
}

}  // namespace packaging
