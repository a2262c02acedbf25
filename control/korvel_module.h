#pragma once
#include <windows.h>
#include <unknwn.h>

#include "framework/class_factory.h"
#include "framework/com_module.h"

// One entry of the object map: a class the module serves.
struct ObjectMapEntry {
  const CLSID* classId;
  HRESULT (*updateRegistry)(bool doRegister);
  HRESULT (*createClassObject)(framework::InstanceCreator creator, REFIID riid, void** ppv);
  framework::InstanceCreator createInstance;
  IUnknown* classObject;  // cached; the map holds one reference
  void (*classInitTerm)(bool starting);
};

// The module's record of its classes.
class ClassRegistry {
 public:
  ClassRegistry();
  ~ClassRegistry();

  bool initialized() const { return initialized_; }
  // Finds the class and hands out its cached class object.
  HRESULT getClassObject(REFCLSID classId, REFIID riid, void** ppv);
  ObjectMapEntry* begin();
  ObjectMapEntry* end();

 private:
  bool initialized_ = false;
  CRITICAL_SECTION classObjectLock_{};
};

class CKorvelToolModule : public framework::ComModule {
 public:
  CKorvelToolModule();
  ~CKorvelToolModule() override;
};

ClassRegistry& korvelClassRegistry();
