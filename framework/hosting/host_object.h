#pragma once
#include <windows.h>

#include <new>
#include <utility>

#include "framework/com_ptr.h"

// Called with each event a hosting object reports, when its host asks for it.
using HostTrace = void (*)(const wchar_t* event);

// Reference count of one of the hosting program's COM objects, all of which live on the
// main thread; the object deletes itself when the count reaches 0.
class HostObject {
 public:
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;

 protected:
  HostObject() = default;
  virtual ~HostObject() = default;

  ULONG addReference() { return ++references_; }
  ULONG releaseReference() {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  ULONG references_ = 1;
};

// Builds a T holding its first reference in *object.
template <class T, class... Arguments>
HRESULT makeHostObject(framework::ComPtr<T>* object, Arguments&&... arguments) {
  T* made = new (std::nothrow) T(std::forward<Arguments>(arguments)...);
  if (made == nullptr) return E_OUTOFMEMORY;
  *object->put() = made;
  return S_OK;
}

// A new reference to the object (none for null), owned by the result.
template <class T>
framework::ComPtr<T> holdReference(T* object) {
  framework::ComPtr<T> held;
  if (object != nullptr) object->AddRef();
  *held.put() = object;
  return held;
}

// Gives up the last reference the program holds and returns how many others
// still hold the object (0: it is gone).
template <class T>
ULONG releaseAndCount(framework::ComPtr<T>* object) {
  T* held = object->detach();
  return held == nullptr ? 0 : held->Release();
}
