#pragma once
#include <windows.h>
#include <mshtml.h>

#include "framework/com_ptr.h"
#include "tools/pagehost/script_object.h"

// The page's document as its script sees it: URL, read from the document
// the control sees, and getElementsByTagName, which finds the page's
// <object> element when it has one (null: it has none).
class ScriptDocument final : public ScriptObject {
 public:
  ScriptDocument(IHTMLDocument2* document, IDispatch* objectElement);

  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

 protected:
  DISPID idOfName(const wchar_t* name) override;

 private:
  HRESULT getUrl(VARIANT* result);
  HRESULT getElementsByTagName(DISPPARAMS* params, VARIANT* result);

  framework::ComPtr<IHTMLDocument2> document_;
  framework::ComPtr<IDispatch> objectElement_;
};
