#pragma once
#include <windows.h>
#include <oaidl.h>

// The type description of IKorvelIE and a name-to-DISPID cache, loaded once
// per process from the registered type library and shared by all controls.
class CComTypeInfoHolder {
 public:
  // Loads what is missing; gives the loading's failure code, or S_OK.
  HRESULT ensureLoaded(LCID lcid);

  HRESULT GetTypeInfo(LCID lcid, ITypeInfo** typeInfo);
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);
  HRESULT Invoke(IDispatch* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* argError);

 private:
  struct CachedName {
    BSTR name;
    UINT length;
    DISPID id;
  };

  HRESULT loadTypeInfo(LCID lcid);
  HRESULT buildNameCache();
  static void cleanUp(void* holder);

  ITypeInfo* typeInfo_ = nullptr;
  CachedName* names_ = nullptr;
  UINT nameCount_ = 0;
};

// The holder shared by every IKorvelIE in the process.
CComTypeInfoHolder& korvelTypeInfo();
