#pragma once
#include <windows.h>
#include <unknwn.h>

#include "framework/class_factory.h"
#include "framework/com_module.h"

#include <oaidl.h>

namespace registration {
class CRegObject;
}

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

// One extra variable of a registration script run; a list of them ends
// with an entry whose name is null.
struct RegistrationVariable {
  LPCWSTR name;
  LPCWSTR value;
};

class CKorvelToolModule : public framework::ComModule {
 public:
  CKorvelToolModule();
  ~CKorvelToolModule() override;

  // Self-registration (registration/module_registration.cpp).
  HRESULT RegisterModule();
  HRESULT UnregisterModule();
  HRESULT RunRegistrationScript(UINT resourceId, bool doRegister, const RegistrationVariable* extras);
  HRESULT RegisterTypeLibrary();
  HRESULT UnregisterTypeLibrary();
  HRESULT LoadModuleTypeLibrary(BSTR* path, ITypeLib** library);
  virtual HRESULT AddCommonVariables(registration::CRegObject& registrar);
};

ClassRegistry& korvelClassRegistry();
CKorvelToolModule& korvelModule();
HINSTANCE korvelModuleInstance();
// Registers or unregisters the control's class (script 102).
HRESULT updateKorvelIERegistry(bool doRegister);
