#pragma once
#include <windows.h>
#include <unknwn.h>

#include <new>

#include "framework/com_module.h"

namespace framework {

// Value a reference count holds while its object is being destroyed, so that
// an AddRef/Release pair made by the destructor never reaches 0 again.
inline constexpr LONG kDestructionGuard = -1073741823;  // 0xC0000001

// Reference count of an object that lives in one apartment: no interlocking.
class ComObjectRoot {
 protected:
  LONG refCount_ = 0;
};

// T stand-alone: T supplies InternalQueryInterface(riid, ppv, includeUnknown)
// and derives from ComObjectRoot.
template <class T>
class CComObject final : public T {
 public:
  CComObject() { currentModule().Lock(); }
  ~CComObject() override {
    this->refCount_ = kDestructionGuard;
    currentModule().Unlock();
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return this->InternalQueryInterface(riid, ppv, true);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++this->refCount_); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG count = --this->refCount_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

  // Builds one and asks it for riid; on failure nothing is left behind.
  static HRESULT CreateInstance(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    auto* object = new (std::nothrow) CComObject<T>();
    if (object == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    if (hr != S_OK) delete object;
    return hr;
  }
};

// T inside an aggregate: identity and lifetime belong to the outer object.
template <class T>
class CComContainedObject final : public T {
 public:
  explicit CComContainedObject(IUnknown* outer) : outer_(outer) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return outer_->QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return outer_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return outer_->Release(); }

 private:
  IUnknown* outer_;  // not referenced: the outer object owns us
};

// The inner IUnknown of an aggregated T.
template <class T>
class CComAggObject final : public IUnknown {
 public:
  explicit CComAggObject(IUnknown* outer) : contained_(outer) { currentModule().Lock(); }
  virtual ~CComAggObject() {
    refCount_ = kDestructionGuard;
    currentModule().Unlock();
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = static_cast<IUnknown*>(this);
      ++refCount_;
      return S_OK;
    }
    return contained_.InternalQueryInterface(riid, ppv, false);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refCount_); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG count = --refCount_;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    auto* object = new (std::nothrow) CComAggObject<T>(outer);
    if (object == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    if (hr != S_OK) delete object;
    return hr;
  }

 private:
  LONG refCount_ = 0;
  CComContainedObject<T> contained_;
};

// The instance creation function of a class: stand-alone or aggregated.
template <class T>
HRESULT createInstance(IUnknown* outer, REFIID riid, void** ppv) {
  return outer == nullptr ? CComObject<T>::CreateInstance(riid, ppv)
                          : CComAggObject<T>::CreateInstance(outer, riid, ppv);
}

}  // namespace framework
