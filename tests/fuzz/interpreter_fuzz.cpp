// The script interpreter's whole grammar on the recording key layer. For
// every script that registers successfully, unregistering it afterwards
// leaves the tree as it was, apart from keys marked NoRemove (with their
// default values and NoRemove values, and the keys above them) and keys
// that held foreign content. Every run closes every key it opened.
//
// Input: one byte (bit 0: per-user mode; bits 1-4: foreign keys made
// before the run), then the script, one byte per character.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "registration/text/script_reader.h"
#include "tests/fuzz/recording_keys.h"

namespace {

using namespace registration::text;
using fuzz::foldName;
using fuzz::RecordingKeys;
using fuzz::TreeContent;

[[noreturn]] void fail(const std::string& what, const std::u16string& line = u"") {
  std::fprintf(stderr, "%s: %s\n", what.c_str(), std::string(line.begin(), line.end()).c_str());
  std::abort();
}

class Variables : public VariableSource {
 public:
  const char16_t* findVariable(const char16_t* name, size_t length) const override {
    const std::u16string wanted = foldName(std::u16string(name, length));
    if (wanted == u"module" || wanted == u"module_raw") return u"C:\\Program Files\\it''s\\KorvelTool.dll";
    if (wanted == u"appid") return u"{F3613BF7-BF7B-4FD8-8134-E8C409BC5FFE}";
    return nullptr;
  }
};

const Variables kVariables;

// What registration's reading of the script marks NoRemove: keys (content
// paths) and values (content path, kValueMark, folded name).
struct NoRemoveMarks {
  std::set<std::u16string> keys;
  std::set<std::u16string> values;
};

class MarkCollector {
 public:
  MarkCollector(const std::u16string& text, NoRemoveMarks* marks) : reader_(text), marks_(*marks) {}

  void collect() {
    while (!reader_.atEnd()) {
      const std::u16string root = rootPath(next());
      next();  // "{"
      block(root);
      reader_.skipSpace();
    }
  }

 private:
  std::u16string next() {
    if (reader_.readToken(token_) != kOk) fail("a script that registered cannot be read again");
    return token_;
  }

  static std::u16string rootPath(const std::u16string& name) {
    static const char* const kNames[] = {"HKCR", "HKCU", "HKLM", "HKU", "HKPD", "HKDD", "HKCC"};
    static const RootKey kKeys[] = {RootKey::classesRoot, RootKey::currentUser, RootKey::localMachine,
                                    RootKey::users, RootKey::performanceData, RootKey::dynData,
                                    RootKey::currentConfig};
    static const char* const kLongNames[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                             "HKEY_USERS", "HKEY_PERFORMANCE_DATA", "HKEY_DYN_DATA",
                                             "HKEY_CURRENT_CONFIG"};
    for (int i = 0; i < 7; ++i) {
      if (equalsIgnoringCase(name.c_str(), kNames[i]) || equalsIgnoringCase(name.c_str(), kLongNames[i])) {
        return u"root" + std::u16string(1, static_cast<char16_t>(u'0' + static_cast<int>(kKeys[i])));
      }
    }
    fail("a registered script with an unknown root");
  }

  static std::u16string child(const std::u16string& path, const std::u16string& name) {
    return name.empty() ? path : path + u"\\" + foldName(name);
  }

  std::u16string skipAssignment(std::u16string token) {
    if (token[0] != u'=') return token;
    next();
    reader_.skipSpace();
    next();
    return next();
  }

  // Mirrors registration's reading of one block, after its "{".
  void block(const std::u16string& path) {
    std::u16string current = path;
    std::u16string token = next();
    while (token[0] != u'}') {
      bool keyEntry = true;
      bool noRemove = false;
      const bool isDelete = equalsIgnoringCase(token.c_str(), "Delete");
      if (isDelete || equalsIgnoringCase(token.c_str(), "ForceRemove")) {
        token = next();
        if (isDelete) {
          token = skipAssignment(next());
          keyEntry = false;
        }
      }
      if (keyEntry && equalsIgnoringCase(token.c_str(), "NoRemove")) {
        noRemove = true;
        token = next();
      }
      if (keyEntry && equalsIgnoringCase(token.c_str(), "Val")) {
        const std::u16string name = next();
        token = skipAssignment(next());
        if (noRemove) marks_.values.insert(path + fuzz::kValueMark + foldName(name));
        keyEntry = false;
      }
      if (keyEntry) {
        current = child(path, token);
        if (noRemove) marks_.keys.insert(current);
        token = skipAssignment(next());
      }
      if (token == u"{") {
        block(current);
        token = next();
      }
    }
  }

  Tokenizer reader_;
  NoRemoveMarks& marks_;
  char16_t token_[kTokenBufferSize];
};

bool isValueLine(const std::u16string& line) { return line.find(fuzz::kValueMark) != std::u16string::npos; }
std::u16string keyOf(const std::u16string& line) { return line.substr(0, line.find(fuzz::kValueMark)); }
std::u16string valueNameOf(const std::u16string& line) {
  const size_t start = line.find(fuzz::kValueMark) + 1;
  return line.substr(start, line.find(fuzz::kDataMark, start) - start);
}

bool hasSubKeyIn(const TreeContent& content, const std::u16string& key) {
  auto next = content.upper_bound(key + u"\\");
  return next != content.end() && next->compare(0, key.size() + 1, key + u"\\") == 0;
}

// The tree after registration and unregistration against the tree before.
void checkLeftovers(const TreeContent& before, const TreeContent& after, const NoRemoveMarks& marks) {
  for (const std::u16string& line : after) {
    if (before.count(line) != 0) continue;
    const std::u16string key = keyOf(line);
    const bool foreignKey = before.count(key) != 0 && key.find(u'\\') != std::u16string::npos;
    if (foreignKey) continue;  // it held foreign content: what the script wrote there may stay
    if (!isValueLine(line)) {
      if (marks.keys.count(key) == 0 && !hasSubKeyIn(after, key)) fail("a key left behind", line);
      continue;
    }
    const std::u16string name = valueNameOf(line);
    const bool defaultOfKeptKey = name.empty() && before.count(key) == 0;
    if (!defaultOfKeptKey && marks.values.count(key + fuzz::kValueMark + name) == 0) fail("a value left behind", line);
  }
}

void makeForeignContent(uint8_t bits, RecordingKeys* keys) {
  if (bits & 2) keys->addForeignKey(RootKey::classesRoot, u"CLSID\\{Other}");
  if (bits & 4) keys->addForeignKey(RootKey::currentUser, u"Software\\Classes\\Foreign");
  if (bits & 8) keys->addForeignKey(RootKey::currentUser, u"Locked")->unreadable = true;
  if (bits & 16) keys->addForeignKey(RootKey::classesRoot, u"ReadOnly")->readOnly = true;
}

Status run(RecordingKeys& keys, const char16_t* script, bool perUser, bool doRegister) {
  const Status status = CRegScriptReader(kVariables, keys, perUser).RunScript(script, doRegister);
  if (keys.openHandles() != 0) fail("a key left open");
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool perUser = (data[0] & 1) != 0;
  std::unique_ptr<char16_t[]> script(new char16_t[size]);
  for (size_t i = 1; i < size; ++i) script[i - 1] = data[i];
  script[size - 1] = 0;

  RecordingKeys keys;
  makeForeignContent(data[0], &keys);
  const TreeContent before = keys.content();
  if (run(keys, script.get(), perUser, true) != kOk) return 0;

  std::u16string expanded;
  if (expandScript(script.get(), perUser, kVariables, &expanded) != kOk) fail("a registered script does not expand");
  NoRemoveMarks marks;
  MarkCollector(expanded, &marks).collect();

  run(keys, script.get(), perUser, false);
  checkLeftovers(before, keys.content(), marks);
  return 0;
}
