#pragma once
#include <windows.h>

// Exports of the TEST-ONLY fault-injection build of the DLL
// (KorvelToolFaults.dll): every allocation the DLL makes is counted, and the
// one with the number given to KorvelFaultsArm fails. Counted are the C
// runtime's malloc, calloc and realloc (operator new included) and the
// OLE allocations the DLL imports (SysAllocString, SysAllocStringLen,
// CoTaskMemAlloc, CoTaskMemRealloc).
extern "C" {
// Starts counting from 0; allocation number `failAt` (from 1) fails, none
// when it is 0. The first call in a loaded instance first has the C++
// runtime set up its exception state (one exception thrown and caught).
void WINAPI KorvelFaultsArm(LONG failAt);
// Allocations counted since the last KorvelFaultsArm.
LONG WINAPI KorvelFaultsCount();
// How many of them failed (0 or 1).
LONG WINAPI KorvelFaultsFailed();
// Calls of CryptSignMessage since the last KorvelFaultsArm.
LONG WINAPI KorvelFaultsSigningCalls();
// C++ exceptions thrown inside the DLL since the last KorvelFaultsArm (also
// those that the runtime throws and catches itself).
LONG WINAPI KorvelFaultsThrows();
}
