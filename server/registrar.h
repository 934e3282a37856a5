// The registrar: applies a registry script to the registry seam, or removes
// what it wrote.
//
// Registration creates every key of the script, sets its default and named
// values, and first deletes the whole subtree of a ForceRemove key.
// Unregistration deletes a ForceRemove key with its subtree; it keeps a
// NoRemove key and removes only what the script lists beneath it; any other
// key it deletes once nothing (no subkey, no named value) remains beneath it
// after the script's own entries are gone, so keys and values that others
// added survive. Keys that do not exist are nothing to remove.
//
// Per user, whatever the script places under the classes root goes to the
// current user's Software\Classes.
#pragma once

#include <string>

#include "server/registry_script.h"

namespace hdd {

HRESULT RegisterScript(const std::wstring& script, const ScriptVariables& variables, bool bPerUser);
HRESULT UnregisterScript(const std::wstring& script, const ScriptVariables& variables, bool bPerUser);
// The same for the script's top-level keys named `topKey` only (every other
// entry stays).
HRESULT UnregisterScriptKey(const std::wstring& script, const ScriptVariables& variables, bool bPerUser,
                            const std::wstring& topKey);

}  // namespace hdd
