#include "control/korvel_module.h"

#include "KorvelTool_h.h"
#include "control/korvel_ie.h"
#include "framework/com_object.h"

#include <iterator>

extern "C" IMAGE_DOS_HEADER __ImageBase;

HINSTANCE korvelModuleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

namespace {

void noClassInitTerm(bool) {}

ObjectMapEntry objectMap[] = {
    {&CLSID_KorvelIE, &updateKorvelIERegistry, &framework::CachedClassFactory::Create,
     &framework::createInstance<CKorvelIE>, nullptr, &noClassInitTerm},
};

// Built in this order when the module loads and taken down in reverse when
// it unloads: the class registry, then the module object.
ClassRegistry classRegistry;
CKorvelToolModule module;

}  // namespace

framework::ComModule& framework::currentModule() { return module; }

ClassRegistry& korvelClassRegistry() { return classRegistry; }

CKorvelToolModule& korvelModule() { return module; }

ClassRegistry::ClassRegistry() {
  if (InitializeCriticalSectionAndSpinCount(&classObjectLock_, 0)) {
    initialized_ = true;
  } else {
    framework::ComModule::markStartupFailedBeforeModule();
  }
}

ClassRegistry::~ClassRegistry() {
  if (!initialized_) return;
  for (ObjectMapEntry& entry : *this) {
    if (entry.classObject != nullptr) entry.classObject->Release();
    entry.classObject = nullptr;
  }
  DeleteCriticalSection(&classObjectLock_);
  initialized_ = false;
}

ObjectMapEntry* ClassRegistry::begin() { return std::begin(objectMap); }
ObjectMapEntry* ClassRegistry::end() { return std::end(objectMap); }

HRESULT ClassRegistry::getClassObject(REFCLSID classId, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!initialized_) return E_UNEXPECTED;
  for (ObjectMapEntry& entry : *this) {
    if (entry.createClassObject == nullptr || !IsEqualCLSID(*entry.classId, classId)) continue;
    HRESULT hr = S_OK;
    if (entry.classObject == nullptr) {
      EnterCriticalSection(&classObjectLock_);
      if (entry.classObject == nullptr) {
        hr = entry.createClassObject(entry.createInstance, IID_IUnknown,
                                     reinterpret_cast<void**>(&entry.classObject));
      }
      LeaveCriticalSection(&classObjectLock_);
    }
    if (entry.classObject != nullptr) hr = entry.classObject->QueryInterface(riid, ppv);
    if (*ppv == nullptr && hr == S_OK) hr = CLASS_E_CLASSNOTAVAILABLE;
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

CKorvelToolModule::CKorvelToolModule() : framework::ComModule(LIBID_KorvelToolLib) {
  for (ObjectMapEntry& entry : classRegistry) entry.classInitTerm(true);
}

CKorvelToolModule::~CKorvelToolModule() {
  for (ObjectMapEntry& entry : classRegistry) entry.classInitTerm(false);
}
