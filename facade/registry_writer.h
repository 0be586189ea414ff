// Applies and removes the declarative registry tables of registry_table.h
// under HKEY_CLASSES_ROOT.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "facade/registry_table.h"

// Pairs of placeholder ("%MODULE%") and its replacement.
using RegistrySubstitutions = std::vector<std::pair<std::wstring, std::wstring>>;

// Writes the entries in table order; stops at the first failure and returns it.
HRESULT ApplyRegistryScript(const RegistryScript& script, const RegistrySubstitutions& substitutions);

// Removes the entries, children before parents, by their key rules; entries
// that are already gone are not an error.
HRESULT RemoveRegistryScript(const RegistryScript& script, const RegistrySubstitutions& substitutions);
