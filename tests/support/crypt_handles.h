#pragma once
#include <windows.h>
#include <wincrypt.h>

#include "framework/handles.h"

// Owners of the legacy CryptoAPI provider and key handles the test tooling uses.
namespace testing_support {

inline void releaseProvider(HCRYPTPROV provider) { CryptReleaseContext(provider, 0); }
inline void destroyKey(HCRYPTKEY key) { CryptDestroyKey(key); }
using UniqueProvider = framework::UniqueAny<HCRYPTPROV, releaseProvider>;
using UniqueCryptKey = framework::UniqueAny<HCRYPTKEY, destroyKey>;

}  // namespace testing_support
