#include "dialog/module_strings.h"

#include "dialog/korvel_dlg.h"

ModuleString loadModuleString(UINT id) {
  ModuleString text{};
  LoadStringW(korvelModuleInstance(), id, text.data(), kModuleStringLength);
  return text;
}
