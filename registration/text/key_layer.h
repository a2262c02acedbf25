#pragma once
// The registry operations that the script reader needs. The product's one
// implementation is the real registry (registration/reg_key.cpp); keeping
// the reader behind this interface keeps it free of Windows calls, so that
// it builds natively for the fuzzer.
#include <cstddef>
#include <cstdint>

#include "registration/text/script_text.h"

namespace registration::text {

// An open key of the layer or a root key; null for none.
using KeyRef = void*;

// Win32 status codes, as the registry reports them.
using KeyStatus = std::int32_t;
inline constexpr KeyStatus kKeyOk = 0;
inline constexpr KeyStatus kKeyNotFound = 2;        // ERROR_FILE_NOT_FOUND
inline constexpr KeyStatus kKeyOutOfMemory = 14;    // ERROR_OUTOFMEMORY

// The predefined keys a script may name as its roots.
enum class RootKey { classesRoot, currentUser, localMachine, users, performanceData, dynData, currentConfig };

enum class KeyAccess { read, write, readWrite };

class KeyLayer {
 public:
  virtual ~KeyLayer() = default;

  // The predefined key; never closed.
  virtual KeyRef root(RootKey key) = 0;
  // Opens `name` below `parent` (the parent itself for a null name).
  virtual KeyStatus openKey(KeyRef parent, const char16_t* name, KeyAccess access, KeyRef* key) = 0;
  // Opens or creates `name` below `parent` for reading and writing.
  virtual KeyStatus createKey(KeyRef parent, const char16_t* name, KeyRef* key) = 0;
  virtual KeyStatus closeKey(KeyRef key) = 0;
  // True when the key has subkeys; a failed query counts as none.
  virtual bool hasSubKeys(KeyRef key) = 0;

  // A null value name is the key's default value.
  virtual KeyStatus setString(KeyRef key, const char16_t* valueName, const char16_t* text) = 0;
  // block: strings each ended by a null, the list ended by an empty string;
  // length in characters up to and including that empty string.
  virtual KeyStatus setMultiString(KeyRef key, const char16_t* valueName, const char16_t* block,
                                   std::size_t length) = 0;
  virtual KeyStatus setDword(KeyRef key, const char16_t* valueName, std::uint32_t number) = 0;
  virtual KeyStatus setBinary(KeyRef key, const char16_t* valueName, const std::uint8_t* bytes,
                              std::size_t size) = 0;
  virtual KeyStatus deleteValue(KeyRef key, const char16_t* valueName) = 0;
  // Removes an empty subkey.
  virtual KeyStatus deleteSubKey(KeyRef key, const char16_t* name) = 0;
  // Removes a subkey with everything below it.
  virtual KeyStatus deleteTree(KeyRef key, const char16_t* name) = 0;

  // The number of a "d" value text (an HRESULT; the platform's conversion).
  virtual Status numberFromText(const char16_t* text, std::uint32_t* number) = 0;
};

}  // namespace registration::text
