// Storage for the script engine interfaces' identifiers, which mingw-w64's
// uuid library lacks (IActiveScriptParse is IActiveScriptParse64 on x86_64).
#include <initguid.h>

#include <activscp.h>
