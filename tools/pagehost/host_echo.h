#pragma once
#include "tools/pagehost/script_object.h"

// The script's way to print: host.echo(text, ...) writes its arguments,
// separated by spaces, as one line on stdout.
class HostEcho final : public ScriptObject {
 public:
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

 protected:
  DISPID idOfName(const wchar_t* name) override;
};
