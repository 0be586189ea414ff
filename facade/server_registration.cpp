#include "facade/server_registration.h"

#include <new>

#include "facade/VOKA4ClientCom_h.h"
#include "facade/registry_writer.h"
#include "facade/type_library.h"

namespace {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case as the registry keeps it.
std::wstring RegistryText(REFGUID guid) {
  wchar_t text[39] = {};
  StringFromGUID2(guid, text, 39);
  return text;
}

RegistrySubstitutions SubstitutionsFor(const std::wstring& modulePath) {
  return {{L"%MODULE%", modulePath},
          {L"%APPID%", kModuleAppId},
          {L"%CLSID%", RegistryText(CLSID_VOKAClientAuthen)},
          {L"%LIBID%", RegistryText(LIBID_VOKA4ClientComLib)}};
}

}  // namespace

HRESULT RegisterServer(const std::wstring& modulePath) {
  try {
    const RegistrySubstitutions substitutions = SubstitutionsFor(modulePath);
    HRESULT hr = ApplyRegistryScript(kAppIdRegistryScript, substitutions);
    if (SUCCEEDED(hr)) hr = ApplyRegistryScript(kClassRegistryScript, substitutions);
    if (SUCCEEDED(hr)) hr = RegisterAuthenTypeLib(modulePath);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT UnregisterServer(const std::wstring& modulePath) {
  try {
    const RegistrySubstitutions substitutions = SubstitutionsFor(modulePath);
    HRESULT hr = RemoveRegistryScript(kClassRegistryScript, substitutions);
    if (SUCCEEDED(hr)) hr = UnregisterAuthenTypeLib();
    if (SUCCEEDED(hr)) hr = RemoveRegistryScript(kAppIdRegistryScript, substitutions);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
