// The registry entries of VOKA4ClientCom.DLL, as declarative tables below
// HKEY_CLASSES_ROOT. "%MODULE%", "%APPID%", "%CLSID%" and "%LIBID%" are
// replaced when a table is applied or removed; CLSID and LIBID come from the
// GUIDs that widl generates from the IDL.
#pragma once

#include <cstddef>

enum class KeyRule {
  Write,        // written at registration, removed at unregistration
  Keep,         // created when missing, never deleted
  ForceRemove,  // deleted with everything beneath it before writing and at unregistration
};

struct RegistryKeyEntry {
  const wchar_t* path;  // below HKEY_CLASSES_ROOT; parents come before children
  KeyRule rule;
  const wchar_t* defaultValue;  // nullptr: the key has no default value
  const wchar_t* valueName;     // nullptr: the key has no named value
  const wchar_t* valueData;
};

struct RegistryScript {
  const RegistryKeyEntry* entries;
  size_t count;
};

extern const wchar_t kModuleAppId[];

// The module's AppID entries.
extern const RegistryScript kAppIdRegistryScript;
// The class's CLSID and ProgID entries.
extern const RegistryScript kClassRegistryScript;
