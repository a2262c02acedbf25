#include "tools/pagehost/script_document.h"

#include <mshtmdid.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/handles.h"
#include "tools/pagehost/page_elements.h"

ScriptDocument::ScriptDocument(IHTMLDocument2* document, IDispatch* objectElement)
    : document_(holdReference(document)), objectElement_(holdReference(objectElement)) {}

// Like the browser's, the document's names match in any case.
DISPID ScriptDocument::idOfName(const wchar_t* name) {
  if (lstrcmpiW(name, L"URL") == 0) return DISPID_IHTMLDOCUMENT2_URL;
  if (lstrcmpiW(name, L"getElementsByTagName") == 0) return DISPID_IHTMLDOCUMENT3_GETELEMENTSBYTAGNAME;
  return DISPID_UNKNOWN;
}

STDMETHODIMP ScriptDocument::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                    EXCEPINFO*, UINT*) {
  if (id == DISPID_IHTMLDOCUMENT2_URL && (flags & DISPATCH_PROPERTYGET) != 0) return getUrl(result);
  if (id == DISPID_IHTMLDOCUMENT3_GETELEMENTSBYTAGNAME && (flags & DISPATCH_METHOD) != 0) {
    return getElementsByTagName(params, result);
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT ScriptDocument::getUrl(VARIANT* result) {
  BSTR url = nullptr;
  HRESULT hr = document_->get_URL(&url);
  if (FAILED(hr)) return hr;
  framework::UniqueBstr held(url);
  return returnText(result, std::wstring(url, SysStringLen(url)));
}

HRESULT ScriptDocument::getElementsByTagName(DISPPARAMS* params, VARIANT* result) {
  std::wstring tag;
  HRESULT hr = firstArgumentText(params, &tag);
  if (FAILED(hr)) return hr;
  std::vector<framework::ComPtr<IDispatch>> elements;
  if (objectElement_ && (lstrcmpiW(tag.c_str(), L"object") == 0 || tag == L"*")) {
    elements.push_back(holdReference(objectElement_.get()));
  }
  framework::ComPtr<ElementCollection> collection;
  hr = makeHostObject(&collection, std::move(elements));
  if (FAILED(hr)) return hr;
  return returnObject(result, collection.get());
}
