// The component's five fixed identifiers. The type library source and the
// registry scripts carry the same values; a test under Wine reads them back
// from the built type library and compares.
#pragma once

#include "platform/win32.h"

#define HDD_CLSID_CHDDOBJECT_TEXT L"{90E107D9-0B02-4105-AD0D-AEDED4B612C4}"
#define HDD_LIBID_HDDLIB_TEXT L"{4ACA63AF-8872-4BC4-9B6A-121E5CED4489}"
#define HDD_IID_ICHDDOBJECT_TEXT L"{D78C5D02-AFC0-4556-A874-FE8C893131F0}"
#define HDD_DIID_ICHDDOBJECTEVENTS_TEXT L"{0822ADC3-613A-4127-988E-B53BEE684595}"
#define HDD_APPID_TEXT L"{B085D76E-83D4-43DD-8179-6C088CFD0336}"

extern "C" {
extern const CLSID CLSID_CHDDObject;
extern const GUID LIBID_HDDLib;
extern const IID IID_ICHDDObject;
extern const IID DIID__ICHDDObjectEvents;
extern const GUID APPID_HDD;
}
