#pragma once
// An in-memory key layer for the interpreter's fuzz target only: a tree of
// keys and values per root, with the registry's rules that the reader meets
// (names ignore the case of A-Z, an empty or null name is the key itself,
// only empty keys are deleted, read-only handles cannot write, a handle to a
// deleted key fails, names are at most 255 characters). Misuse by the reader
// (an unknown or closed handle, closing a root) stops the run.
#include <map>
#include <memory>
#include <set>
#include <string>

#include "registration/text/key_layer.h"

namespace fuzz {

using registration::text::KeyAccess;
using registration::text::KeyRef;
using registration::text::KeyStatus;
using registration::text::RootKey;

// A key as the tree holds it: values by folded name ("" the default value),
// subkeys by folded name.
struct KeyNode : std::enable_shared_from_this<KeyNode> {
  std::u16string name;
  KeyNode* parent = nullptr;
  bool isRoot = false;
  bool deleted = false;
  bool unreadable = false;  // every open is denied
  bool readOnly = false;    // opens for writing and deletion are denied
  std::map<std::u16string, std::u16string> values;  // type character + data
  std::map<std::u16string, std::shared_ptr<KeyNode>> subKeys;
};

// The whole content: one line per key ("root1\a\b") and one per value (the
// key's line, kValueMark, the name, kDataMark, type and data), names folded.
// The marks are characters that no script made from bytes can hold.
using TreeContent = std::set<std::u16string>;
inline constexpr char16_t kValueMark = 0xF000;
inline constexpr char16_t kDataMark = 0xF001;

std::u16string foldName(const std::u16string& name);

class RecordingKeys : public registration::text::KeyLayer {
 public:
  RecordingKeys();

  // Foreign content made before a run: the key at path (folded names, "\"
  // between them) below a root, with a value named "foreign".
  KeyNode* addForeignKey(RootKey root, const std::u16string& path);
  TreeContent content() const;
  size_t openHandles() const { return handles_.size(); }

  KeyRef root(RootKey key) override;
  KeyStatus openKey(KeyRef parent, const char16_t* name, KeyAccess access, KeyRef* key) override;
  KeyStatus createKey(KeyRef parent, const char16_t* name, KeyRef* key) override;
  KeyStatus closeKey(KeyRef key) override;
  bool hasSubKeys(KeyRef key) override;
  KeyStatus setString(KeyRef key, const char16_t* valueName, const char16_t* text) override;
  KeyStatus setMultiString(KeyRef key, const char16_t* valueName, const char16_t* block, size_t length) override;
  KeyStatus setDword(KeyRef key, const char16_t* valueName, uint32_t number) override;
  KeyStatus setBinary(KeyRef key, const char16_t* valueName, const uint8_t* bytes, size_t size) override;
  KeyStatus deleteValue(KeyRef key, const char16_t* valueName) override;
  KeyStatus deleteSubKey(KeyRef key, const char16_t* name) override;
  KeyStatus deleteTree(KeyRef key, const char16_t* name) override;
  registration::text::Status numberFromText(const char16_t* text, uint32_t* number) override;

 private:
  struct Handle {
    std::shared_ptr<KeyNode> node;
    bool canRead;
    bool canWrite;
  };

  Handle& handleOf(KeyRef key);
  KeyStatus find(KeyNode& parent, const char16_t* name, std::shared_ptr<KeyNode>* found);
  KeyRef newHandle(std::shared_ptr<KeyNode> node, bool canRead, bool canWrite);
  KeyStatus setValue(KeyRef key, const char16_t* valueName, std::u16string value);
  KeyStatus deleteEmptyKey(KeyNode& parent, const char16_t* name);
  KeyStatus deleteTreeBelow(KeyNode& parent, const char16_t* name);

  std::shared_ptr<KeyNode> roots_[7];
  Handle rootHandles_[7];
  std::map<uintptr_t, Handle> handles_;
  uintptr_t nextHandle_ = 0x1000;
};

}  // namespace fuzz
