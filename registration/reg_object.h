#pragma once
#include <windows.h>
#include <unknwn.h>

#include <string>
#include <vector>

#include "registration/reg_key.h"
#include "registration/text/script_text.h"

// Process-wide: registration goes to HKEY_CURRENT_USER\Software\Classes
// instead of HKEY_CLASSES_ROOT. Set by DllInstall with "user", never cleared.
extern bool perUserRegistration;

namespace registration {

// The variable slots of the registrar, in the COM manner.
struct IRegistrarVariables : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddVariable(LPCWSTR name, LPCWSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearVariables() = 0;
};

// The registrar: variables for the scripts and the loading of a script
// resource. Not reference counted: one local object per script run.
class CRegObject : public IRegistrarVariables, public text::VariableSource {
 public:
  CRegObject() = default;
  virtual ~CRegObject();
  CRegObject(const CRegObject&) = delete;
  CRegObject& operator=(const CRegObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 0; }
  HRESULT STDMETHODCALLTYPE AddVariable(LPCWSTR name, LPCWSTR value) override;
  HRESULT STDMETHODCALLTYPE ClearVariables() override;

  // The value of the first variable with that name, ignoring case, or null.
  LPCWSTR lookup(LPCWSTR name, size_t length) const;
  const char16_t* findVariable(const char16_t* name, size_t length) const override;

  // Loads the script resource (id, type) of the module file and runs it.
  HRESULT RunScriptResource(LPCWSTR modulePath, UINT resourceId, LPCWSTR resourceType, bool doRegister);
  // Runs a script text (UTF-16) on the registry.
  HRESULT RunScript(LPCWSTR script, bool doRegister);

 private:
  std::vector<std::wstring> names_;
  std::vector<std::wstring> values_;
};

}  // namespace registration
