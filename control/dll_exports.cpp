// Entry points of KorvelTool.dll.
#include <windows.h>

#include "control/korvel_module.h"

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
