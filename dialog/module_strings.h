#pragma once
#include <windows.h>

#include <array>

// Entries of the module's string table.
inline constexpr UINT kStringColumnName = 40000;
inline constexpr UINT kStringColumnNickname = 40001;
inline constexpr UINT kStringColumnEndDate = 40002;
inline constexpr UINT kStringColumnValidity = 40003;
inline constexpr UINT kStringSigningFailed = 40004;
inline constexpr UINT kStringRenewButton = 40005;
inline constexpr UINT kStringCancelButton = 40006;

// The table's texts are short titles and messages: they are read into a
// fixed buffer, so that loading one never allocates and never fails for
// lack of memory.
inline constexpr int kModuleStringLength = 256;
using ModuleString = std::array<wchar_t, kModuleStringLength>;

// The string `id` of the module's string table, cut to 255 characters;
// empty when it is missing.
ModuleString loadModuleString(UINT id);
