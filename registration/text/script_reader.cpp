#include "registration/text/script_reader.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace registration::text {
namespace {

struct RootName {
  const char* name;
  RootKey key;
};

const RootName kRootNames[] = {
    {"HKCR", RootKey::classesRoot},
    {"HKCU", RootKey::currentUser},
    {"HKLM", RootKey::localMachine},
    {"HKU", RootKey::users},
    {"HKPD", RootKey::performanceData},
    {"HKDD", RootKey::dynData},
    {"HKCC", RootKey::currentConfig},
    {"HKEY_CLASSES_ROOT", RootKey::classesRoot},
    {"HKEY_CURRENT_USER", RootKey::currentUser},
    {"HKEY_LOCAL_MACHINE", RootKey::localMachine},
    {"HKEY_USERS", RootKey::users},
    {"HKEY_PERFORMANCE_DATA", RootKey::performanceData},
    {"HKEY_DYN_DATA", RootKey::dynData},
    {"HKEY_CURRENT_CONFIG", RootKey::currentConfig},
};

// Key names are at most 255 characters; a remembered name keeps 259.
constexpr std::size_t kMaxRememberedName = 259;

bool rootKeyNamed(const char16_t* name, RootKey* key) {
  for (const RootName& root : kRootNames) {
    if (equalsIgnoringCase(name, root.name)) {
      *key = root.key;
      return true;
    }
  }
  return false;
}

bool failed(Status status) { return status < 0; }
bool isBlockStart(const char16_t* token) { return token[0] == u'{' && token[1] == 0; }
bool isBlockEnd(const char16_t* token) { return token[0] == u'}'; }
bool isAssignment(const char16_t* token) { return token[0] == u'='; }

// A Win32 status above 0 becomes 0x8007xxxx; 0 and negative values pass.
Status fromStatus(KeyStatus status) {
  if (status <= 0) return status;
  return static_cast<Status>(0x80070000u | (static_cast<std::uint32_t>(status) & 0xFFFFu));
}

void rememberName(char16_t* out, const char16_t* name) {
  std::size_t i = 0;
  for (; i < kMaxRememberedName && name[i] != 0; ++i) out[i] = name[i];
  out[i] = 0;
}

}  // namespace

// Buffers of one nesting level: a value name (or key name) and a value.
struct CRegScriptReader::LevelBuffers {
  char16_t name[kTokenBufferSize];
  char16_t value[kTokenBufferSize];
};

// One key that the reader opened, closed when it is replaced or goes away.
class CRegScriptReader::OwnedKey {
 public:
  explicit OwnedKey(KeyLayer& keys) : keys_(keys) {}
  ~OwnedKey() { close(); }
  OwnedKey(const OwnedKey&) = delete;
  OwnedKey& operator=(const OwnedKey&) = delete;

  KeyRef get() const { return key_; }
  KeyStatus open(KeyRef parent, const char16_t* name, KeyAccess access) {
    KeyRef opened = nullptr;
    KeyStatus status = keys_.openKey(parent, name, access, &opened);
    if (status == kKeyOk) keep(opened);
    return status;
  }
  KeyStatus create(KeyRef parent, const char16_t* name) {
    KeyRef created = nullptr;
    KeyStatus status = keys_.createKey(parent, name, &created);
    if (status == kKeyOk) keep(created);
    return status;
  }
  KeyStatus close() {
    KeyRef key = std::exchange(key_, nullptr);
    return key != nullptr ? keys_.closeKey(key) : kKeyOk;
  }

 private:
  void keep(KeyRef key) {
    close();
    key_ = key;
  }

  KeyLayer& keys_;
  KeyRef key_ = nullptr;
};

Status CRegScriptReader::Expand(const char16_t* script, std::u16string* expanded) {
  return expandScript(script, perUser_, registrar_, expanded);
}

Status CRegScriptReader::ReadToken(char16_t* token) { return reader_->readToken(token); }

void CRegScriptReader::SkipSpace() { reader_->skipSpace(); }

Status CRegScriptReader::RunScript(const char16_t* script, bool doRegister) {
  std::u16string expanded;
  Status hr = Expand(script, &expanded);
  if (failed(hr)) return hr;
  Tokenizer reader(expanded);
  reader_ = &reader;
  std::unique_ptr<char16_t[]> token(new (std::nothrow) char16_t[kTokenBufferSize]);
  if (!token) hr = kOutOfMemory;
  while (!failed(hr) && !reader.atEnd()) {
    hr = ReadToken(token.get());
    if (failed(hr)) break;
    RootKey rootName;
    if (!rootKeyNamed(token.get(), &rootName)) {
      hr = kDispException;
      break;
    }
    KeyRef root = keys_.root(rootName);
    hr = ReadToken(token.get());
    if (!failed(hr) && token[0] != u'{') hr = kDispException;
    if (failed(hr)) break;
    std::size_t blockStart = reader.position();
    hr = RunEntries(token.get(), root, doRegister, false);
    if (failed(hr) && doRegister) {
      // Undo what the failing block wrote, as far as unregistration removes it.
      reader.setPosition(blockStart);
      undoing_ = true;
      RunEntries(token.get(), root, false, false);
      undoing_ = false;
    }
    SkipSpace();
  }
  reader_ = nullptr;
  return hr;
}

Status CRegScriptReader::SkipAssignment(char16_t* token, LevelBuffers& level) {
  if (!isAssignment(token)) return kOk;
  Status hr = ReadToken(token);
  if (failed(hr)) return hr;
  SkipSpace();
  hr = ReadToken(level.value);
  if (failed(hr)) return hr;
  return ReadToken(token);
}

Status CRegScriptReader::RunEntries(char16_t* token, KeyRef parent, bool doRegister, bool skipMode) {
  std::unique_ptr<LevelBuffers> level(new (std::nothrow) LevelBuffers);
  if (!level) return kOutOfMemory;
  Status hr = ReadToken(token);
  if (failed(hr)) return hr;
  return doRegister ? RegisterEntries(token, parent, *level) : UnregisterEntries(token, parent, skipMode, *level);
}

Status CRegScriptReader::RegisterEntries(char16_t* token, KeyRef parent, LevelBuffers& level) {
  OwnedKey current(keys_);  // the key the most recent key entry opened
  while (!isBlockEnd(token)) {
    Status hr = kOk;
    bool keyEntry = true;
    bool isDelete = equalsIgnoringCase(token, "Delete");
    if (isDelete || equalsIgnoringCase(token, "ForceRemove")) {
      if (failed(hr = ReadToken(token))) return hr;
      if (!isKeyName(token)) return kDispException;
      if (!isProtectedKeyName(token)) keys_.deleteTree(parent, token);
      if (isDelete) {
        if (failed(hr = ReadToken(token))) return hr;
        if (failed(hr = SkipAssignment(token, level))) return hr;
        keyEntry = false;
      }
    }
    if (keyEntry && equalsIgnoringCase(token, "NoRemove")) {
      if (failed(hr = ReadToken(token))) return hr;
    }
    if (keyEntry && equalsIgnoringCase(token, "Val")) {
      if (failed(hr = ReadToken(level.name))) return hr;
      if (failed(hr = ReadToken(token))) return hr;
      if (!isAssignment(token)) return kDispException;
      if (failed(hr = SetValueFromScript(parent, level.name, token, level))) return hr;
      keyEntry = false;
    }
    if (keyEntry) {
      if (!isKeyName(token)) return kDispException;
      if (current.open(parent, token, KeyAccess::readWrite) != kKeyOk &&
          current.open(parent, token, KeyAccess::read) != kKeyOk) {
        KeyStatus status = current.create(parent, token);
        if (status != kKeyOk) return fromStatus(status);
      }
      if (failed(hr = ReadToken(token))) return hr;
      if (isAssignment(token) && failed(hr = SetValueFromScript(current.get(), nullptr, token, level))) return hr;
    }
    if (isBlockStart(token)) {
      // Children belong to a key entry; a block after a value or a deletion
      // has no key of its own.
      if (!keyEntry) return kDispException;
      if (failed(hr = RunEntries(token, current.get(), true, false))) return hr;
      if (failed(hr = ReadToken(token))) return hr;
    }
  }
  return kOk;
}

Status CRegScriptReader::UnregisterEntries(char16_t* token, KeyRef parent, bool skipMode, LevelBuffers& level) {
  while (!isBlockEnd(token)) {
    Status hr = kOk;
    bool removable = true;
    // The name after Delete is a key name whatever its spelling, as
    // registration reads it: a key called NoRemove or Val is no keyword here.
    bool keywords = !equalsIgnoringCase(token, "Delete");
    if (!keywords || equalsIgnoringCase(token, "ForceRemove")) {
      if (failed(hr = ReadToken(token))) return hr;
    }
    if (keywords && equalsIgnoringCase(token, "NoRemove")) {
      removable = false;
      if (failed(hr = ReadToken(token))) return hr;
    }
    if (keywords && equalsIgnoringCase(token, "Val")) {
      if (failed(hr = ReadToken(level.name))) return hr;
      if (failed(hr = ReadToken(token))) return hr;
      if (!isAssignment(token)) return kDispException;
      if (!skipMode && removable) {
        OwnedKey key(keys_);
        KeyStatus status = key.open(parent, nullptr, KeyAccess::write);
        if (status != kKeyOk) return fromStatus(status);
        status = keys_.deleteValue(key.get(), level.name);
        if (status != kKeyOk && status != kKeyNotFound) return fromStatus(status);
      }
      if (failed(hr = SkipAssignment(token, level))) return hr;
      if (isBlockStart(token)) return kDispException;
      continue;
    }

    if (!isKeyName(token)) return kDispException;
    OwnedKey key(keys_);
    KeyStatus openStatus = skipMode ? kKeyNotFound : key.open(parent, token, KeyAccess::read);
    rememberName(level.name, token);
    hr = UnregisterKeyBody(token, key.get(), skipMode || openStatus != kKeyOk, level);
    if (failed(hr)) {
      // Undoing a failed registration meets the same broken text that made
      // it fail. It still removes the keys it opened on the way, so that the
      // failed block leaves nothing behind that it named.
      if (undoing_ && openStatus == kKeyOk) removeKey(key, parent, level.name, removable);
      return hr;
    }
    if (openStatus == kKeyNotFound) continue;
    if (openStatus != kKeyOk) {
      if (skipMode) continue;
      return fromStatus(openStatus);
    }
    if (failed(hr = removeKey(key, parent, level.name, removable))) return hr;
  }
  return kOk;
}

Status CRegScriptReader::UnregisterKeyBody(char16_t* token, KeyRef key, bool skipChildren, LevelBuffers& level) {
  Status hr = ReadToken(token);
  if (failed(hr)) return hr;
  if (failed(hr = SkipAssignment(token, level))) return hr;
  if (!isBlockStart(token)) return kOk;
  hr = RunEntries(token, key, false, skipChildren);
  if (failed(hr) && !skipChildren) return hr;
  return ReadToken(token);
}

Status CRegScriptReader::removeKey(OwnedKey& key, KeyRef parent, const char16_t* name, bool removable) {
  bool hasSubKeys = keys_.hasSubKeys(key.get());
  KeyStatus status = key.close();
  if (status != kKeyOk) return fromStatus(status);
  if (!removable || hasSubKeys) return kOk;
  return fromStatus(keys_.deleteSubKey(parent, name));
}

Status CRegScriptReader::SetValueFromScript(KeyRef key, const char16_t* valueName, char16_t* token,
                                            LevelBuffers& level) {
  Status hr = ReadToken(token);
  if (failed(hr)) return hr;
  char16_t type = token[1] == 0 ? static_cast<char16_t>(token[0] & ~0x20) : 0;
  if (type != u'S' && type != u'M' && type != u'D' && type != u'B') return kDispException;
  SkipSpace();
  if (failed(hr = ReadToken(level.value))) return hr;

  KeyStatus status = kKeyOk;
  switch (type) {
    case u'S':
      status = keys_.setString(key, valueName, level.value);
      break;
    case u'M':
      try {
        std::u16string block = multiStringFromText(level.value);
        status = keys_.setMultiString(key, valueName, block.c_str(), multiStringLength(block));
      } catch (const std::bad_alloc&) {
        status = kKeyOutOfMemory;
      }
      break;
    case u'D': {
      // A text that is no unsigned 32-bit number is an error, not a 0.
      std::uint32_t number = 0;
      hr = keys_.numberFromText(level.value, &number);
      if (failed(hr)) return hr;
      status = keys_.setDword(key, valueName, number);
      break;
    }
    case u'B':
      try {
        std::vector<std::uint8_t> bytes;
        if (!bytesFromHexText(level.value, &bytes)) return kFail;
        status = keys_.setBinary(key, valueName, bytes.data(), bytes.size());
      } catch (const std::bad_alloc&) {
        return kFail;
      }
      break;
  }
  if (status != kKeyOk) return fromStatus(status);
  return ReadToken(token);
}

}  // namespace registration::text
