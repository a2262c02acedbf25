#pragma once
#include <windows.h>

#include <string>

// Output of the page host. Text goes out as UTF-8, one line per call, on the
// standard handles (under Wine they are the Unix pipes of the caller).
void printLine(const std::wstring& text);
void printError(const std::wstring& text);

// Host events (security manager, services, sites) on stderr, when asked for.
void enableTrace();
void trace(const std::wstring& text);

std::wstring hexText(ULONG value);
std::wstring guidText(REFGUID guid);
