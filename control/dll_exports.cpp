// Entry points of KorvelTool.dll.
#include <windows.h>

#include "control/korvel_module.h"
#include "registration/reg_object.h"
#include "registration/text/script_text.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    if (framework::currentModule().startupFailed()) return FALSE;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID riid, void** ppv) {
  return korvelClassRegistry().getClassObject(classId, riid, ppv);
}

STDAPI DllCanUnloadNow() { return framework::currentModule().GetLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return korvelModule().RegisterModule(); }

STDAPI DllUnregisterServer() { return korvelModule().UnregisterModule(); }

// "user" (any case) selects registration for the current user only; that
// choice stays for the rest of the process.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
  if (registration::text::isUserCommandLine(reinterpret_cast<const char16_t*>(commandLine))) {
    perUserRegistration = true;
  }
  if (!install) return korvelModule().UnregisterModule();
  HRESULT hr = korvelModule().RegisterModule();
  if (FAILED(hr)) korvelModule().UnregisterModule();  // remove what was written; its result is not ours
  return hr;
}
