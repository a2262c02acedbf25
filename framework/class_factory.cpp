#include "framework/class_factory.h"

#include <new>

#include "framework/com_module.h"
#include "framework/com_object.h"

namespace framework {

HRESULT CachedClassFactory::Create(InstanceCreator creator, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  auto* factory = new (std::nothrow) CachedClassFactory(creator);
  if (factory == nullptr) return E_OUTOFMEMORY;
  if (!InitializeCriticalSectionAndSpinCount(&factory->lock_, 0)) {
    HRESULT hr = hresultFromLastError();
    delete factory;
    return FAILED(hr) ? hr : E_FAIL;
  }
  factory->lockCreated_ = true;
  HRESULT hr = factory->QueryInterface(riid, ppv);
  if (hr != S_OK) delete factory;
  return hr;
}

CachedClassFactory::~CachedClassFactory() {
  refCount_ = kDestructionGuard;
  if (lockCreated_) DeleteCriticalSection(&lock_);
}

STDMETHODIMP CachedClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
  *ppv = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CachedClassFactory::AddRef() {
  LONG count = InterlockedIncrement(&refCount_);
  if (count == 2) currentModule().Lock();
  return static_cast<ULONG>(count);
}

STDMETHODIMP_(ULONG) CachedClassFactory::Release() {
  LONG count = InterlockedDecrement(&refCount_);
  if (count == 0) {
    delete this;
  } else if (count == 1) {
    currentModule().Unlock();
  }
  return static_cast<ULONG>(count);
}

STDMETHODIMP CachedClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return creator_(outer, riid, ppv);
}

STDMETHODIMP CachedClassFactory::LockServer(BOOL lock) {
  if (lock) {
    currentModule().Lock();
  } else {
    currentModule().Unlock();
  }
  return S_OK;
}

}  // namespace framework
