#pragma once
#include <windows.h>

#include <string>

// Entries of the module's string table.
inline constexpr UINT kStringColumnName = 40000;
inline constexpr UINT kStringColumnNickname = 40001;
inline constexpr UINT kStringColumnEndDate = 40002;
inline constexpr UINT kStringColumnValidity = 40003;
inline constexpr UINT kStringSigningFailed = 40004;
inline constexpr UINT kStringRenewButton = 40005;
inline constexpr UINT kStringCancelButton = 40006;

// The string `id` of the module's string table; empty when it is missing.
std::wstring loadModuleString(UINT id);
