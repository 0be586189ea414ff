#include "facade/type_library.h"

#include "facade/VOKA4ClientCom_h.h"

namespace {

constexpr WORD kMajorVersion = 1;
constexpr WORD kMinorVersion = 0;
constexpr LCID kTypeLibLocale = 0x409;
// The type library is compiled for the DLL's own word size, and registered
// under that platform.
constexpr SYSKIND kTypeLibPlatform = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

HRESULT LoadTypeLibFromModule(const std::wstring& modulePath, ITypeLib** typeLib) {
  return LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, typeLib);
}

}  // namespace

HRESULT RegisterAuthenTypeLib(const std::wstring& modulePath) {
  ITypeLib* typeLib = nullptr;
  HRESULT hr = LoadTypeLibFromModule(modulePath, &typeLib);
  if (FAILED(hr)) return hr;
  std::wstring helpDir = FolderOf(modulePath);
  hr = RegisterTypeLib(typeLib, const_cast<wchar_t*>(modulePath.c_str()), helpDir.empty() ? nullptr : &helpDir[0]);
  typeLib->Release();
  return hr;
}

HRESULT UnregisterAuthenTypeLib() {
  return UnRegisterTypeLib(LIBID_VOKA4ClientComLib, kMajorVersion, kMinorVersion, kTypeLibLocale, kTypeLibPlatform);
}

HRESULT LoadAuthenTypeInfo(const std::wstring& modulePath, REFIID interfaceId, ITypeInfo** typeInfo) {
  *typeInfo = nullptr;
  ITypeLib* typeLib = nullptr;
  HRESULT hr = LoadRegTypeLib(LIBID_VOKA4ClientComLib, kMajorVersion, kMinorVersion, kTypeLibLocale, &typeLib);
  if (FAILED(hr)) hr = LoadTypeLibFromModule(modulePath, &typeLib);
  if (FAILED(hr)) return hr;
  hr = typeLib->GetTypeInfoOfGuid(interfaceId, typeInfo);
  typeLib->Release();
  return hr;
}
