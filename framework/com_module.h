#pragma once
#include <windows.h>
#include <objidl.h>

namespace framework {

// Process-wide state of an in-process COM server: the lock count that
// decides unloading, the lock that guards shared type information, and the
// clean-ups to run when the module goes away.
class ComModule {
 public:
  using TermFunction = void (*)(void* argument);

  explicit ComModule(const GUID& libraryId);
  virtual ~ComModule();

  virtual LONG Lock();
  virtual LONG Unlock();
  virtual LONG GetLockCount();
  // The process's global interface table, created on first request.
  virtual HRESULT GetGITPtr(IGlobalInterfaceTable** table);

  // Runs `function(argument)` at module termination; newest first.
  HRESULT AddTermFunc(TermFunction function, void* argument);

  CRITICAL_SECTION& typeInfoLock() { return typeInfoLock_; }
  const GUID& libraryId() const { return libraryId_; }
  bool startupFailed() const { return startupFailed_; }
  // For records built before the module object whose lock cannot be made.
  static void markStartupFailedBeforeModule() { startupFailed_ = true; }

 private:
  struct TermEntry {
    TermFunction function;
    void* argument;
    TermEntry* next;
  };

  void runTermFunctions();

  LONG lockCount_ = 0;
  CRITICAL_SECTION typeInfoLock_{};
  bool typeInfoLockCreated_ = false;
  TermEntry* termFunctions_ = nullptr;
  GUID libraryId_;
  IGlobalInterfaceTable* globalInterfaceTable_ = nullptr;
  static bool startupFailed_;
};

// The one module object of this process.
ComModule& currentModule();

// Makes a Win32 status an HRESULT: codes above 0 become 0x8007xxxx.
inline HRESULT hresultFromStatus(LONG status) {
  return status > 0 ? static_cast<HRESULT>((static_cast<ULONG>(status) & 0xFFFF) | 0x80070000) : status;
}

inline HRESULT hresultFromLastError() { return hresultFromStatus(static_cast<LONG>(GetLastError())); }

}  // namespace framework
