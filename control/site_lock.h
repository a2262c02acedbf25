#pragma once
#include <windows.h>
#include <unknwn.h>

#include "framework/handles.h"

namespace korvel {

// Whether this build serves only the origins of its KORVEL_ALLOWED_ORIGINS
// setting (an empty setting locks nothing).
bool isSiteLocked();

// The URL of the document that hosts the control, read through the site the
// container gave it: a script engine's site answers SID_SContainerDispatch
// with the hosting document; an <object> element's client site leads there
// through IOleClientSite::GetContainer. E_FAIL without such a route.
HRESULT readHostDocumentUrl(IUnknown* site, framework::UniqueBstr& url);

// Whether the page that hosts `site` is on the list; false without a site or
// without a document URL.
bool isHostPageAllowed(IUnknown* site);

}  // namespace korvel
