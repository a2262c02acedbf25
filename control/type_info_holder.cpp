#include "control/type_info_holder.h"

#include <cwchar>
#include <new>

#include "KorvelTool_h.h"
#include "framework/com_module.h"
#include "framework/com_ptr.h"

CComTypeInfoHolder& korvelTypeInfo() {
  static CComTypeInfoHolder holder;
  return holder;
}

HRESULT CComTypeInfoHolder::ensureLoaded(LCID lcid) {
  if (typeInfo_ != nullptr && names_ != nullptr) return S_OK;
  CRITICAL_SECTION& lock = framework::currentModule().typeInfoLock();
  EnterCriticalSection(&lock);
  HRESULT hr = S_OK;
  if (typeInfo_ == nullptr) hr = loadTypeInfo(lcid);
  if (SUCCEEDED(hr) && names_ == nullptr) hr = buildNameCache();
  LeaveCriticalSection(&lock);
  return hr;
}

HRESULT CComTypeInfoHolder::loadTypeInfo(LCID lcid) {
  framework::ComPtr<ITypeLib> library;
  HRESULT hr = LoadRegTypeLib(LIBID_KorvelToolLib, 1, 0, lcid, library.put());
  if (FAILED(hr)) return hr;
  framework::ComPtr<ITypeInfo> typeInfo;
  hr = library->GetTypeInfoOfGuid(IID_IKorvelIE, typeInfo.put());
  if (FAILED(hr)) return hr;
  hr = framework::currentModule().AddTermFunc(&CComTypeInfoHolder::cleanUp, this);
  if (FAILED(hr)) return hr;
  typeInfo_ = typeInfo.detach();
  return S_OK;
}

HRESULT CComTypeInfoHolder::buildNameCache() {
  TYPEATTR* attributes = nullptr;
  HRESULT hr = typeInfo_->GetTypeAttr(&attributes);
  if (FAILED(hr)) return hr;
  const UINT count = attributes->cFuncs;
  typeInfo_->ReleaseTypeAttr(attributes);

  auto* names = new (std::nothrow) CachedName[count > 0 ? count : 1]();
  if (names == nullptr) return E_OUTOFMEMORY;
  for (UINT i = 0; i < count; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(typeInfo_->GetFuncDesc(i, &function))) continue;
    BSTR name = nullptr;
    if (SUCCEEDED(typeInfo_->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr))) {
      names[i] = CachedName{name, SysStringLen(name), function->memid};
    }
    typeInfo_->ReleaseFuncDesc(function);
  }
  names_ = names;
  nameCount_ = count;
  return S_OK;
}

void CComTypeInfoHolder::cleanUp(void* argument) {
  auto* holder = static_cast<CComTypeInfoHolder*>(argument);
  if (holder->typeInfo_ != nullptr) {
    holder->typeInfo_->Release();
    holder->typeInfo_ = nullptr;
  }
  for (UINT i = 0; i < holder->nameCount_; ++i) SysFreeString(holder->names_[i].name);
  delete[] holder->names_;
  holder->names_ = nullptr;
  holder->nameCount_ = 0;
}

HRESULT CComTypeInfoHolder::GetTypeInfo(LCID lcid, ITypeInfo** typeInfo) {
  HRESULT hr = S_OK;
  if (typeInfo_ == nullptr) hr = ensureLoaded(lcid);
  if (typeInfo_ == nullptr) {
    *typeInfo = nullptr;
    return FAILED(hr) ? hr : E_FAIL;
  }
  typeInfo_->AddRef();
  *typeInfo = typeInfo_;
  return S_OK;
}

HRESULT CComTypeInfoHolder::GetIDsOfNames(LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
  HRESULT hr = ensureLoaded(lcid);
  if (typeInfo_ == nullptr) return FAILED(hr) ? hr : E_FAIL;
  if (names_ != nullptr && count == 1 && names != nullptr && names[0] != nullptr && ids != nullptr) {
    const UINT length = static_cast<UINT>(wcslen(names[0]));
    for (UINT i = nameCount_; i-- > 0;) {
      const CachedName& entry = names_[i];
      if (entry.name != nullptr && entry.length == length &&
          wmemcmp(entry.name, names[0], length) == 0) {
        ids[0] = entry.id;
        return S_OK;
      }
    }
  }
  return typeInfo_->GetIDsOfNames(names, count, ids);
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* object, DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  HRESULT hr = ensureLoaded(lcid);
  if (typeInfo_ == nullptr) return FAILED(hr) ? hr : E_FAIL;
  return typeInfo_->Invoke(object, id, flags, params, result, exception, argError);
}
