#include "framework/com_module.h"

#include <new>

namespace framework {

bool ComModule::startupFailed_ = false;

ComModule::ComModule(const GUID& libraryId) : libraryId_(libraryId) {
  typeInfoLockCreated_ = InitializeCriticalSectionAndSpinCount(&typeInfoLock_, 0) != FALSE;
  if (!typeInfoLockCreated_) startupFailed_ = true;
}

ComModule::~ComModule() {
  if (!typeInfoLockCreated_) return;
  runTermFunctions();
  if (globalInterfaceTable_ != nullptr) {
    globalInterfaceTable_->Release();
    globalInterfaceTable_ = nullptr;
  }
  DeleteCriticalSection(&typeInfoLock_);
  typeInfoLockCreated_ = false;
}

LONG ComModule::Lock() { return InterlockedIncrement(&lockCount_); }
LONG ComModule::Unlock() { return InterlockedDecrement(&lockCount_); }
LONG ComModule::GetLockCount() { return lockCount_; }

HRESULT ComModule::GetGITPtr(IGlobalInterfaceTable** table) {
  if (table == nullptr) return E_POINTER;
  *table = nullptr;
  EnterCriticalSection(&typeInfoLock_);
  HRESULT hr = S_OK;
  if (globalInterfaceTable_ == nullptr) {
    hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                          IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&globalInterfaceTable_));
  }
  if (SUCCEEDED(hr)) {
    globalInterfaceTable_->AddRef();
    *table = globalInterfaceTable_;
  }
  LeaveCriticalSection(&typeInfoLock_);
  return hr;
}

HRESULT ComModule::AddTermFunc(TermFunction function, void* argument) {
  auto* entry = new (std::nothrow) TermEntry{function, argument, nullptr};
  if (entry == nullptr) return E_OUTOFMEMORY;
  EnterCriticalSection(&typeInfoLock_);
  entry->next = termFunctions_;
  termFunctions_ = entry;
  LeaveCriticalSection(&typeInfoLock_);
  return S_OK;
}

void ComModule::runTermFunctions() {
  while (TermEntry* entry = termFunctions_) {
    termFunctions_ = entry->next;
    entry->function(entry->argument);
    delete entry;
  }
}

}  // namespace framework
