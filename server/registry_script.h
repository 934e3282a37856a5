// Registry scripts: the small text form in which the server describes the
// keys it registers. A script is a list of root keys, each with a block of
// entries:
//
//   HKCR
//   {
//       NoRemove CLSID                      key that unregistration keeps
//       {
//           ForceRemove {guid} = s 'text'   key replaced whole on registration,
//           {                               deleted whole on unregistration
//               val Name = s 'text'         named string value
//               'Quoted Name'               key with a quoted name
//           }
//       }
//   }
//
// Names and values are bare words or single-quoted strings in which a
// doubled quote stands for one quote. %NAME% is replaced by the value of a
// replacement variable before the text is read (%% gives one percent sign);
// the values are substituted as they are, so a value meant for a quoted
// string carries its quotes doubled. Only string values ("s") exist.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace hdd {

// Any script that cannot be read: bad tokens, unbalanced braces, unknown
// roots, value types or variables.
inline constexpr HRESULT HDD_E_REGISTRY_SCRIPT = static_cast<HRESULT>(0x8007000Du);  // ERROR_INVALID_DATA

struct ScriptValue {
    std::wstring name;
    std::wstring value;
};

struct ScriptKey {
    enum class Removal { Normal, NoRemove, ForceRemove };
    std::wstring name;
    Removal removal = Removal::Normal;
    bool hasDefault = false;
    std::wstring defaultValue;
    std::vector<ScriptValue> values;
    std::vector<ScriptKey> subKeys;
};

struct ScriptRoot {
    std::wstring name;  // as written: HKCR, HKCU, HKLM or a long form
    std::vector<ScriptKey> keys;
};

using ScriptVariables = std::map<std::wstring, std::wstring>;

// Replaces the variables in `text`; an unknown or unterminated variable fails.
HRESULT ExpandScriptVariables(const std::wstring& text, const ScriptVariables& variables, std::wstring& expanded);

// Reads an expanded script. Nothing is left in `roots` on failure.
HRESULT ParseRegistryScript(const std::wstring& text, std::vector<ScriptRoot>& roots);

// Script resources are ASCII text; any other byte fails.
HRESULT DecodeScriptBytes(const std::string& bytes, std::wstring& text);

}  // namespace hdd
