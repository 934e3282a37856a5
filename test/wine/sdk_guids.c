/* The GUID definitions of the public header (HDD_i.c, made by widl) under
   names of their own, so that sdk_header_test.cpp can set them beside the
   component's definitions of the same names. */
#define IID_ICHDDObject sdk_IID_ICHDDObject
#define LIBID_HDDLib sdk_LIBID_HDDLib
#define DIID__ICHDDObjectEvents sdk_DIID__ICHDDObjectEvents
#define CLSID_CHDDObject sdk_CLSID_CHDDObject
#include "HDD_i.c"
