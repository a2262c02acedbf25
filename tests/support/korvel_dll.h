#pragma once
#include <windows.h>
#include <unknwn.h>

#include "KorvelTool_h.h"
#include "framework/com_ptr.h"

namespace testing_support {

// KorvelTool.dll, loaded from beside the test program, and its exports.
class KorvelDll {
 public:
  static KorvelDll& instance();

  HMODULE module() const { return module_; }
  HRESULT getClassObject(REFCLSID classId, REFIID riid, void** ppv) const;
  HRESULT canUnloadNow() const;
  // A new stand-alone control through the class object.
  framework::ComPtr<IKorvelIE> createControl() const;

 private:
  KorvelDll();
  HMODULE module_ = nullptr;
  HRESULT(STDAPICALLTYPE* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(STDAPICALLTYPE* canUnloadNow_)() = nullptr;
};

// Registers the DLL's type library for the test process (machine-wide).
HRESULT registerTypeLibrary();
HRESULT unregisterTypeLibrary();

// The full path of KorvelTool.dll beside the test program.
const wchar_t* korvelDllPath();

}  // namespace testing_support
