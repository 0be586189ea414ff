#include "facade/registry_writer.h"

namespace {

std::wstring Expand(const wchar_t* text, const RegistrySubstitutions& substitutions) {
  std::wstring result = text;
  for (const auto& [placeholder, replacement] : substitutions) {
    for (size_t at = result.find(placeholder); at != std::wstring::npos;
         at = result.find(placeholder, at + replacement.size())) {
      result.replace(at, placeholder.size(), replacement);
    }
  }
  return result;
}

HRESULT FromWin32(LONG status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

bool IsGone(LONG status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }

HRESULT SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
  const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return FromWin32(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes));
}

HRESULT WriteEntry(const RegistryKeyEntry& entry, const RegistrySubstitutions& substitutions) {
  const std::wstring path = Expand(entry.path, substitutions);
  if (entry.rule == KeyRule::ForceRemove) {
    const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    if (status != ERROR_SUCCESS && !IsGone(status)) return FromWin32(status);
  }
  // Expanded before the key is open: an allocation failure must not leave it open.
  const std::wstring defaultValue = entry.defaultValue ? Expand(entry.defaultValue, substitutions) : std::wstring();
  const std::wstring valueData = entry.valueName ? Expand(entry.valueData, substitutions) : std::wstring();
  HKEY key = nullptr;
  HRESULT hr =
      FromWin32(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
  if (FAILED(hr)) return hr;
  if (entry.defaultValue) hr = SetText(key, nullptr, defaultValue);
  if (SUCCEEDED(hr) && entry.valueName) hr = SetText(key, entry.valueName, valueData);
  RegCloseKey(key);
  return hr;
}

HRESULT DeleteNamedValue(const std::wstring& path, const wchar_t* name) {
  const LONG status = RegDeleteKeyValueW(HKEY_CLASSES_ROOT, path.c_str(), name);
  return IsGone(status) ? S_OK : FromWin32(status);
}

// A written key goes only once nothing but our own entries lived below it.
HRESULT DeleteKeyWithoutSubkeys(const std::wstring& path) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key);
  if (IsGone(status)) return S_OK;
  if (status != ERROR_SUCCESS) return FromWin32(status);
  DWORD subkeys = 0;
  status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return FromWin32(status);
  if (subkeys != 0) return S_OK;
  status = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
  return IsGone(status) ? S_OK : FromWin32(status);
}

HRESULT RemoveEntry(const RegistryKeyEntry& entry, const RegistrySubstitutions& substitutions) {
  const std::wstring path = Expand(entry.path, substitutions);
  switch (entry.rule) {
    case KeyRule::Keep: return entry.valueName ? DeleteNamedValue(path, entry.valueName) : S_OK;
    case KeyRule::ForceRemove: {
      const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
      if (status != ERROR_SUCCESS && !IsGone(status)) return FromWin32(status);
      const LONG keyStatus = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
      return IsGone(keyStatus) ? S_OK : FromWin32(keyStatus);
    }
    case KeyRule::Write: return DeleteKeyWithoutSubkeys(path);
  }
  return E_UNEXPECTED;
}

}  // namespace

HRESULT ApplyRegistryScript(const RegistryScript& script, const RegistrySubstitutions& substitutions) {
  for (size_t i = 0; i < script.count; ++i) {
    const HRESULT hr = WriteEntry(script.entries[i], substitutions);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT RemoveRegistryScript(const RegistryScript& script, const RegistrySubstitutions& substitutions) {
  for (size_t i = script.count; i-- > 0;) {
    const HRESULT hr = RemoveEntry(script.entries[i], substitutions);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}
