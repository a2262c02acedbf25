#pragma once
#include <windows.h>
#include <oleauto.h>

namespace testing_support {

// What this build's registration writes for its type library: the platform
// of the process architecture (a 32-bit DLL registers win32, also on a
// 64-bit system).
#ifdef _WIN64
inline constexpr SYSKIND kTypeLibrarySysKind = SYS_WIN64;
inline constexpr wchar_t kTypeLibraryPlatform[] = L"win64";
#else
inline constexpr SYSKIND kTypeLibrarySysKind = SYS_WIN32;
inline constexpr wchar_t kTypeLibraryPlatform[] = L"win32";
#endif

}  // namespace testing_support
