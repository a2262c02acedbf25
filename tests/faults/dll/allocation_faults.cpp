// TEST-ONLY allocation layer of KorvelToolFaults.dll, never linked into the
// shipped DLL. The C runtime's allocation functions reach it through the
// linker's --wrap option; the OLE allocation functions through the DLL's own
// import table, which it points at the counting versions once.
#include "tests/faults/dll/allocation_faults.h"

#include <objbase.h>
#include <wincrypt.h>
#include <oleauto.h>

#include <cstdlib>
#include <cstring>
#include <new>

// The linker's symbol at the start of this module's image.
extern "C" BYTE __ImageBase[];

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
[[noreturn]] void __real___cxa_throw(void* exception, void* type, void (*destructor)(void*));
}

namespace {

LONG failAt = 0;
LONG counted = 0;
LONG failed = 0;
LONG signingCalls = 0;
LONG throws = 0;

// Counts one allocation; true when it is the one that must fail.
bool nextAllocationFails() {
  if (InterlockedIncrement(&counted) != failAt) return false;
  InterlockedIncrement(&failed);
  return true;
}

using SysAllocStringFunction = BSTR(WINAPI*)(const OLECHAR*);
using SysAllocStringLenFunction = BSTR(WINAPI*)(const OLECHAR*, UINT);
using CoTaskMemAllocFunction = LPVOID(WINAPI*)(SIZE_T);
using CoTaskMemReallocFunction = LPVOID(WINAPI*)(LPVOID, SIZE_T);
using CryptSignMessageFunction = BOOL(WINAPI*)(PCRYPT_SIGN_MESSAGE_PARA, BOOL, DWORD, const BYTE**, DWORD*, BYTE*,
                                               DWORD*);

SysAllocStringFunction realSysAllocString = nullptr;
SysAllocStringLenFunction realSysAllocStringLen = nullptr;
CoTaskMemAllocFunction realCoTaskMemAlloc = nullptr;
CoTaskMemReallocFunction realCoTaskMemRealloc = nullptr;
CryptSignMessageFunction realCryptSignMessage = nullptr;

BSTR WINAPI countedSysAllocString(const OLECHAR* text) {
  return nextAllocationFails() ? nullptr : realSysAllocString(text);
}
BSTR WINAPI countedSysAllocStringLen(const OLECHAR* text, UINT length) {
  return nextAllocationFails() ? nullptr : realSysAllocStringLen(text, length);
}
LPVOID WINAPI countedCoTaskMemAlloc(SIZE_T size) {
  return nextAllocationFails() ? nullptr : realCoTaskMemAlloc(size);
}
LPVOID WINAPI countedCoTaskMemRealloc(LPVOID block, SIZE_T size) {
  return nextAllocationFails() ? nullptr : realCoTaskMemRealloc(block, size);
}

// Not an allocation: counted so that a test can tell the platform's own
// per-signature handles (Wine keeps one) from the DLL's.
BOOL WINAPI countedCryptSignMessage(PCRYPT_SIGN_MESSAGE_PARA para, BOOL detached, DWORD count, const BYTE** data,
                                    DWORD* sizes, BYTE* out, DWORD* outSize) {
  InterlockedIncrement(&signingCalls);
  return realCryptSignMessage(para, detached, count, data, sizes, out, outSize);
}

struct ImportHook {
  const char* name;
  void* replacement;
  void** original;
};

const ImportHook kImportHooks[] = {
    {"SysAllocString", reinterpret_cast<void*>(&countedSysAllocString),
     reinterpret_cast<void**>(&realSysAllocString)},
    {"SysAllocStringLen", reinterpret_cast<void*>(&countedSysAllocStringLen),
     reinterpret_cast<void**>(&realSysAllocStringLen)},
    {"CoTaskMemAlloc", reinterpret_cast<void*>(&countedCoTaskMemAlloc),
     reinterpret_cast<void**>(&realCoTaskMemAlloc)},
    {"CoTaskMemRealloc", reinterpret_cast<void*>(&countedCoTaskMemRealloc),
     reinterpret_cast<void**>(&realCoTaskMemRealloc)},
    {"CryptSignMessage", reinterpret_cast<void*>(&countedCryptSignMessage),
     reinterpret_cast<void**>(&realCryptSignMessage)},
};

void replaceSlot(ULONG_PTR* slot, void* replacement) {
  DWORD protection = 0;
  if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) return;
  *slot = reinterpret_cast<ULONG_PTR>(replacement);
  VirtualProtect(slot, sizeof(*slot), protection, &protection);
}

// Points this module's import slots of the hooked functions at the counting
// versions, keeping the real addresses.
void hookImportsOnce() {
  static bool hooked = false;
  if (hooked) return;
  hooked = true;
  BYTE* base = __ImageBase;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return;
  for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       module->Name != 0; ++module) {
    if (module->OriginalFirstThunk == 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      for (const ImportHook& hook : kImportHooks) {
        if (std::strcmp(reinterpret_cast<const char*>(byName->Name), hook.name) != 0) continue;
        *hook.original = reinterpret_cast<void*>(slots->u1.Function);
        replaceSlot(reinterpret_cast<ULONG_PTR*>(&slots->u1.Function), hook.replacement);
      }
    }
  }
}

// The C++ runtime sets up its per-module exception state (a lock, a thread
// key, the thread's exception globals) on the first exception of a loaded
// instance and keeps it until the process ends. Done once here, before the
// counting starts, every run of a loaded instance finds the same state: the
// path's own allocations are counted and its own handles measured.
void setUpExceptionStateOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  try {
    throw std::bad_alloc();
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace

extern "C" {

void* __wrap_malloc(size_t size) { return nextAllocationFails() ? nullptr : __real_malloc(size); }

void* __wrap_calloc(size_t count, size_t size) {
  return nextAllocationFails() ? nullptr : __real_calloc(count, size);
}

void* __wrap_realloc(void* block, size_t size) {
  return nextAllocationFails() ? nullptr : __real_realloc(block, size);
}

// Every C++ exception thrown in the DLL, counted (see KorvelFaultsThrows).
[[noreturn]] void __wrap___cxa_throw(void* exception, void* type, void (*destructor)(void*)) {
  InterlockedIncrement(&throws);
  __real___cxa_throw(exception, type, destructor);
}

void WINAPI KorvelFaultsArm(LONG allocationToFail) {
  hookImportsOnce();
  setUpExceptionStateOnce();
  InterlockedExchange(&failAt, allocationToFail);
  InterlockedExchange(&counted, 0);
  InterlockedExchange(&failed, 0);
  InterlockedExchange(&signingCalls, 0);
  InterlockedExchange(&throws, 0);
}

LONG WINAPI KorvelFaultsCount() { return counted; }
LONG WINAPI KorvelFaultsFailed() { return failed; }
LONG WINAPI KorvelFaultsSigningCalls() { return signingCalls; }
LONG WINAPI KorvelFaultsThrows() { return throws; }

}  // extern "C"
