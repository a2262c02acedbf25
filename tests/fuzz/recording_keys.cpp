#include "tests/fuzz/recording_keys.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {
namespace {

constexpr KeyStatus kAccessDenied = 5;
constexpr KeyStatus kInvalidParameter = 87;
constexpr KeyStatus kKeyDeleted = 1018;
constexpr registration::text::Status kTypeMismatch = static_cast<registration::text::Status>(0x80020005);
constexpr size_t kMaxKeyName = 255;

[[noreturn]] void misuse(const char* what) {
  std::fprintf(stderr, "key layer misused: %s\n", what);
  std::abort();
}

std::u16string valueName(const char16_t* name) { return foldName(name != nullptr ? name : u""); }

void addContent(const KeyNode& node, const std::u16string& path, TreeContent* content) {
  content->insert(path);
  for (const auto& value : node.values) content->insert(path + kValueMark + value.first + kDataMark + value.second);
  for (const auto& subKey : node.subKeys) addContent(*subKey.second, path + u"\\" + subKey.first, content);
}

}  // namespace

std::u16string foldName(const std::u16string& name) {
  std::u16string folded(name);
  for (char16_t& c : folded) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  return folded;
}

RecordingKeys::RecordingKeys() {
  for (int i = 0; i < 7; ++i) {
    roots_[i] = std::make_shared<KeyNode>();
    roots_[i]->name = u"root" + std::u16string(1, static_cast<char16_t>(u'0' + i));
    roots_[i]->isRoot = true;
    rootHandles_[i] = Handle{roots_[i], true, true};
  }
}

KeyNode* RecordingKeys::addForeignKey(RootKey root, const std::u16string& path) {
  KeyNode* node = roots_[static_cast<int>(root)].get();
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string::npos) end = path.size();
    const std::u16string name = path.substr(start, end - start);
    auto& slot = node->subKeys[foldName(name)];
    if (!slot) {
      slot = std::make_shared<KeyNode>();
      slot->name = name;
      slot->parent = node;
    }
    node = slot.get();
    start = end + 1;
  }
  node->values[u"foreign"] = u"Sforeign";
  return node;
}

TreeContent RecordingKeys::content() const {
  TreeContent content;
  for (const auto& root : roots_) addContent(*root, root->name, &content);
  return content;
}

RecordingKeys::Handle& RecordingKeys::handleOf(KeyRef key) {
  const auto id = reinterpret_cast<uintptr_t>(key);
  if (id >= 1 && id <= 7) return rootHandles_[id - 1];
  auto found = handles_.find(id);
  if (found == handles_.end()) misuse("unknown or closed handle");
  return found->second;
}

KeyRef RecordingKeys::newHandle(std::shared_ptr<KeyNode> node, bool canRead, bool canWrite) {
  const uintptr_t id = nextHandle_++;
  handles_[id] = Handle{std::move(node), canRead, canWrite};
  return reinterpret_cast<KeyRef>(id);
}

KeyStatus RecordingKeys::find(KeyNode& parent, const char16_t* name, std::shared_ptr<KeyNode>* found) {
  if (parent.deleted) return kKeyDeleted;
  if (name == nullptr || name[0] == 0) {
    *found = parent.shared_from_this();
    return registration::text::kKeyOk;
  }
  const std::u16string text(name);
  if (text.find(u'\\') != std::u16string::npos) misuse("a path where a key name belongs");
  if (text.size() > kMaxKeyName) return kInvalidParameter;
  auto subKey = parent.subKeys.find(foldName(text));
  if (subKey == parent.subKeys.end()) return registration::text::kKeyNotFound;
  *found = subKey->second;
  return registration::text::kKeyOk;
}

KeyRef RecordingKeys::root(RootKey key) { return reinterpret_cast<KeyRef>(static_cast<uintptr_t>(key) + 1); }

KeyStatus RecordingKeys::openKey(KeyRef parent, const char16_t* name, KeyAccess access, KeyRef* key) {
  std::shared_ptr<KeyNode> node;
  KeyStatus status = find(*handleOf(parent).node, name, &node);
  if (status != registration::text::kKeyOk) return status;
  const bool read = access != KeyAccess::write;
  const bool write = access != KeyAccess::read;
  if (node->unreadable || (write && node->readOnly)) return kAccessDenied;
  *key = newHandle(node, read, write);
  return registration::text::kKeyOk;
}

KeyStatus RecordingKeys::createKey(KeyRef parent, const char16_t* name, KeyRef* key) {
  Handle& parentHandle = handleOf(parent);
  std::shared_ptr<KeyNode> node;
  KeyStatus status = find(*parentHandle.node, name, &node);
  if (status == registration::text::kKeyNotFound) {
    if (!parentHandle.canWrite || parentHandle.node->readOnly) return kAccessDenied;
    node = std::make_shared<KeyNode>();
    node->name = name;
    node->parent = parentHandle.node.get();
    parentHandle.node->subKeys[foldName(name)] = node;
  } else if (status != registration::text::kKeyOk) {
    return status;
  }
  if (node->unreadable || node->readOnly) return kAccessDenied;
  *key = newHandle(node, true, true);
  return registration::text::kKeyOk;
}

KeyStatus RecordingKeys::closeKey(KeyRef key) {
  const auto id = reinterpret_cast<uintptr_t>(key);
  if (id >= 1 && id <= 7) misuse("a root key closed");
  if (handles_.erase(id) == 0) misuse("unknown or closed handle closed");
  return registration::text::kKeyOk;
}

bool RecordingKeys::hasSubKeys(KeyRef key) {
  const Handle& handle = handleOf(key);
  return handle.canRead && !handle.node->deleted && !handle.node->subKeys.empty();
}

KeyStatus RecordingKeys::setValue(KeyRef key, const char16_t* name, std::u16string value) {
  const Handle& handle = handleOf(key);
  if (handle.node->deleted) return kKeyDeleted;
  if (!handle.canWrite) return kAccessDenied;
  handle.node->values[valueName(name)] = std::move(value);
  return registration::text::kKeyOk;
}

KeyStatus RecordingKeys::setString(KeyRef key, const char16_t* valueName, const char16_t* text) {
  return setValue(key, valueName, u"S" + std::u16string(text));
}

KeyStatus RecordingKeys::setMultiString(KeyRef key, const char16_t* valueName, const char16_t* block,
                                        size_t length) {
  return setValue(key, valueName, u"M" + std::u16string(block, length));
}

KeyStatus RecordingKeys::setDword(KeyRef key, const char16_t* valueName, uint32_t number) {
  const std::string digits = std::to_string(number);
  return setValue(key, valueName, u"D" + std::u16string(digits.begin(), digits.end()));
}

KeyStatus RecordingKeys::setBinary(KeyRef key, const char16_t* valueName, const uint8_t* bytes, size_t size) {
  static const char16_t kHex[] = u"0123456789abcdef";
  std::u16string text = u"B";
  for (size_t i = 0; i < size; ++i) {
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 15];
  }
  return setValue(key, valueName, text);
}

KeyStatus RecordingKeys::deleteValue(KeyRef key, const char16_t* name) {
  const Handle& handle = handleOf(key);
  if (handle.node->deleted) return kKeyDeleted;
  if (!handle.canWrite) return kAccessDenied;
  return handle.node->values.erase(valueName(name)) != 0 ? registration::text::kKeyOk
                                                         : registration::text::kKeyNotFound;
}

KeyStatus RecordingKeys::deleteEmptyKey(KeyNode& parent, const char16_t* name) {
  std::shared_ptr<KeyNode> node;
  KeyStatus status = find(parent, name, &node);
  if (status != registration::text::kKeyOk) return status;
  if (node->isRoot || node->unreadable || node->readOnly || !node->subKeys.empty()) return kAccessDenied;
  node->deleted = true;
  node->parent->subKeys.erase(foldName(node->name));
  return registration::text::kKeyOk;
}

KeyStatus RecordingKeys::deleteSubKey(KeyRef key, const char16_t* name) {
  return deleteEmptyKey(*handleOf(key).node, name);
}

// Depth first, always the first remaining subkey, as the real layer does.
KeyStatus RecordingKeys::deleteTreeBelow(KeyNode& parent, const char16_t* name) {
  std::shared_ptr<KeyNode> node;
  KeyStatus status = find(parent, name, &node);
  if (status != registration::text::kKeyOk) return status;
  if (node->unreadable || node->readOnly) return kAccessDenied;
  while (!node->subKeys.empty()) {
    std::shared_ptr<KeyNode> first = node->subKeys.begin()->second;
    status = deleteTreeBelow(*node, first->name.c_str());
    if (status != registration::text::kKeyOk) return status;
  }
  return deleteEmptyKey(parent, name);
}

KeyStatus RecordingKeys::deleteTree(KeyRef key, const char16_t* name) {
  return deleteTreeBelow(*handleOf(key).node, name);
}

// Stands in for the platform's conversion: decimal digits up to 2^32 - 1.
registration::text::Status RecordingKeys::numberFromText(const char16_t* text, uint32_t* number) {
  uint64_t value = 0;
  if (text[0] == 0) return kTypeMismatch;
  for (; *text != 0; ++text) {
    if (*text < u'0' || *text > u'9') return kTypeMismatch;
    value = value * 10 + (*text - u'0');
    if (value > UINT32_MAX) return kTypeMismatch;
  }
  *number = static_cast<uint32_t>(value);
  return registration::text::kOk;
}

}  // namespace fuzz
