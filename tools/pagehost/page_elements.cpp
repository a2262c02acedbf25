#include "tools/pagehost/page_elements.h"

#include <mshtmdid.h>

namespace {

constexpr DISPID kGetAttributeId = static_cast<DISPID>(DISPID_IHTMLELEMENT_GETATTRIBUTE);

// HTML names attributes and members in any case.
bool sameName(const wchar_t* name, const wchar_t* expected) { return lstrcmpiW(name, expected) == 0; }

// A decimal index without sign or leading zeros, or -1.
long long indexOfName(const wchar_t* name) {
  if (name[0] == L'\0' || (name[0] == L'0' && name[1] != L'\0')) return -1;
  long long index = 0;
  for (const wchar_t* c = name; *c != L'\0'; ++c) {
    if (*c < L'0' || *c > L'9' || index > 100000000) return -1;
    index = index * 10 + (*c - L'0');
  }
  return index;
}

}  // namespace

ObjectElement::ObjectElement(IDispatch* control, std::wstring id, std::wstring classId)
    : control_(holdReference(control)), id_(std::move(id)), classId_(std::move(classId)) {}

DISPID ObjectElement::idOfName(const wchar_t* name) {
  return sameName(name, L"getAttribute") ? kGetAttributeId : DISPID_UNKNOWN;
}

STDMETHODIMP ObjectElement::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) {
  if (names == nullptr || ids == nullptr) return E_POINTER;
  if (count > 0 && names[0] != nullptr && idOfName(names[0]) != DISPID_UNKNOWN) {
    return ScriptObject::GetIDsOfNames(riid, names, count, lcid, ids);
  }
  return control_->GetIDsOfNames(riid, names, count, lcid, ids);
}

STDMETHODIMP ObjectElement::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) {
  if (id != kGetAttributeId) {
    return control_->Invoke(id, riid, lcid, flags, params, result, exception, argError);
  }
  if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
  return getAttribute(params, result);
}

// getAttribute(name [, flags]): the attribute's text, or null for one the element does not have.
HRESULT ObjectElement::getAttribute(DISPPARAMS* params, VARIANT* result) {
  std::wstring name;
  HRESULT hr = firstArgumentText(params, &name);
  if (FAILED(hr)) return hr;
  if (sameName(name.c_str(), L"classid")) return returnText(result, classId_);
  if (sameName(name.c_str(), L"id")) return returnText(result, id_);
  return returnNull(result);
}

DISPID ElementCollection::idOfName(const wchar_t* name) {
  if (sameName(name, L"length")) return DISPID_IHTMLELEMENTCOLLECTION_LENGTH;
  if (sameName(name, L"item")) return DISPID_IHTMLELEMENTCOLLECTION_ITEM;
  long long index = indexOfName(name);
  if (index < 0 || static_cast<size_t>(index) >= elements_.size()) return DISPID_UNKNOWN;
  return DISPID_COLLECTION_MIN + static_cast<DISPID>(index);
}

HRESULT ElementCollection::returnElement(size_t index, VARIANT* result) {
  if (index >= elements_.size()) return returnNull(result);
  return returnObject(result, elements_[index].get());
}

STDMETHODIMP ElementCollection::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                       EXCEPINFO*, UINT*) {
  if (id == DISPID_IHTMLELEMENTCOLLECTION_LENGTH && (flags & DISPATCH_PROPERTYGET) != 0) {
    return returnNumber(result, static_cast<LONG>(elements_.size()));
  }
  if (id == DISPID_IHTMLELEMENTCOLLECTION_ITEM && (flags & DISPATCH_METHOD) != 0) {
    std::wstring index;
    HRESULT hr = firstArgumentText(params, &index);
    if (FAILED(hr)) return hr;
    long long number = indexOfName(index.c_str());
    return number < 0 ? returnNull(result) : returnElement(static_cast<size_t>(number), result);
  }
  if (id >= DISPID_COLLECTION_MIN && (flags & DISPATCH_PROPERTYGET) != 0) {
    return returnElement(static_cast<size_t>(id - DISPID_COLLECTION_MIN), result);
  }
  return DISP_E_MEMBERNOTFOUND;
}
