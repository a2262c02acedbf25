#pragma once
#include <windows.h>
#include <oleauto.h>
#include <wincrypt.h>

#include "framework/unique_any.h"

namespace framework {
namespace close {
inline void key(HKEY k) { RegCloseKey(k); }
inline void library(HMODULE m) { FreeLibrary(m); }
inline void gdiObject(HFONT f) { DeleteObject(f); }
inline void bstr(BSTR s) { SysFreeString(s); }
inline void taskMemory(void* p) { CoTaskMemFree(p); }
inline void certStore(HCERTSTORE s) { CertCloseStore(s, 0); }
inline void certContext(PCCERT_CONTEXT c) { CertFreeCertificateContext(c); }
inline void kernelHandle(HANDLE h) { CloseHandle(h); }
}  // namespace close

using UniqueKey = UniqueAny<HKEY, close::key>;
using UniqueLibrary = UniqueAny<HMODULE, close::library>;
using UniqueFont = UniqueAny<HFONT, close::gdiObject>;
using UniqueBstr = UniqueAny<BSTR, close::bstr>;
using UniqueTaskMemory = UniqueAny<void*, close::taskMemory>;
using UniqueCertStore = UniqueAny<HCERTSTORE, close::certStore>;
using UniqueCertContext = UniqueAny<PCCERT_CONTEXT, close::certContext>;
using UniqueHandle = UniqueAny<HANDLE, close::kernelHandle>;

}  // namespace framework
