#include "facade/server_registration.h"

#include <new>

#include "facade/VOKA4ClientCom_h.h"
#include "facade/registry_writer.h"
#include "facade/type_library.h"

namespace {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case as the registry keeps
// it; formatted here so that the DLL needs no import for it.
std::wstring RegistryText(REFGUID guid) {
  const unsigned char bytes[16] = {static_cast<unsigned char>(guid.Data1 >> 24),
                                   static_cast<unsigned char>(guid.Data1 >> 16),
                                   static_cast<unsigned char>(guid.Data1 >> 8),
                                   static_cast<unsigned char>(guid.Data1),
                                   static_cast<unsigned char>(guid.Data2 >> 8),
                                   static_cast<unsigned char>(guid.Data2),
                                   static_cast<unsigned char>(guid.Data3 >> 8),
                                   static_cast<unsigned char>(guid.Data3),
                                   guid.Data4[0],
                                   guid.Data4[1],
                                   guid.Data4[2],
                                   guid.Data4[3],
                                   guid.Data4[4],
                                   guid.Data4[5],
                                   guid.Data4[6],
                                   guid.Data4[7]};
  static const wchar_t kHexDigits[] = L"0123456789ABCDEF";
  std::wstring text = L"{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += L'-';
    text += kHexDigits[bytes[i] >> 4];
    text += kHexDigits[bytes[i] & 0x0F];
  }
  return text + L"}";
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
