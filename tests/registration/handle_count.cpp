#include "tests/registration/handle_count.h"

#include <windows.h>

#include <vector>

namespace registration_tests {
namespace {

struct HandleEntry {
  ULONG ownerProcessId;
  BYTE objectType;
  BYTE flags;
  USHORT value;
  PVOID object;
  ACCESS_MASK access;
};
struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

}  // namespace

size_t openHandles() {
  auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return 0;
  constexpr ULONG kSystemHandleInformation = 16;
  std::vector<BYTE> buffer(1 << 20);
  ULONG needed = 0;
  while (query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) != 0) {
    if (buffer.size() >= (64u << 20)) return 0;
    buffer.resize(buffer.size() * 2);
  }
  const HandleTable* table = reinterpret_cast<const HandleTable*>(buffer.data());
  size_t mine = 0;
  for (ULONG i = 0; i < table->count; ++i) {
    if (table->entries[i].ownerProcessId == GetCurrentProcessId()) ++mine;
  }
  return mine;
}

}  // namespace registration_tests
