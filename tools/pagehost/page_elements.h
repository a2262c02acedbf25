#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "framework/com_ptr.h"
#include "tools/pagehost/script_object.h"

// The page's <object> element as its script sees it: getAttribute for the
// attributes written on the page, and the control's own members, which a
// browser merges into the element's.
class ObjectElement final : public ScriptObject {
 public:
  ObjectElement(IDispatch* control, std::wstring id, std::wstring classId);

  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

 protected:
  DISPID idOfName(const wchar_t* name) override;

 private:
  HRESULT getAttribute(DISPPARAMS* params, VARIANT* result);

  framework::ComPtr<IDispatch> control_;
  std::wstring id_;
  std::wstring classId_;  // as written on the page: "clsid:" and the class without braces
};

// What getElementsByTagName gives: the elements in page order, read by index
// (collection[i], for which JScript asks the name "i"), by item(i), and length.
class ElementCollection final : public ScriptObject {
 public:
  explicit ElementCollection(std::vector<framework::ComPtr<IDispatch>> elements) : elements_(std::move(elements)) {}

  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

 protected:
  DISPID idOfName(const wchar_t* name) override;

 private:
  HRESULT returnElement(size_t index, VARIANT* result);

  std::vector<framework::ComPtr<IDispatch>> elements_;
};
