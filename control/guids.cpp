// Storage for CLSID_KorvelIE, IID_IKorvelIE and LIBID_KorvelToolLib, whose
// values come from cmake/Guids.cmake through the type library source.
#include <initguid.h>

#include "KorvelTool_h.h"
