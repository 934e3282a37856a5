// A correction to a type library file that ICreateTypeLib2 has saved.
//
// ICreateTypeInfo::LayOut gives every dispinterface the vtable size of
// IDispatch, and the loader counts a dispinterface's members from that size:
// a dispinterface without members then reads back with IDispatch's seven
// functions as its own. An IDL compiler records a vtable size of 0 for it, and
// the loader lists no members. This sets the recorded size of each such
// dispinterface (not dual, no functions, no variables) to 0.
#pragma once

#include <string>

// Number of dispinterfaces corrected, or -1 with the reason in `error` when
// the file cannot be read, written or is not laid out as expected.
int ClearMemberlessDispinterfaceVtables(const wchar_t* path, std::string& error);
