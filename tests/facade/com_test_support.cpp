#include "tests/facade/com_test_support.h"

#include <cstdlib>

#include "tests/facade/dll_export.h"

const AuthenModule& LoadAuthenModule() {
  static const AuthenModule module = [] {
    AuthenModule loaded{};
    loaded.handle = LoadLibraryW(L"VOKA4ClientCom.DLL");
    if (loaded.handle) {
      loaded.getClassObject = DllExport<DllGetClassObjectFn>(loaded.handle, "DllGetClassObject");
      loaded.canUnloadNow = DllExport<DllCanUnloadNowFn>(loaded.handle, "DllCanUnloadNow");
    }
    return loaded;
  }();
  return module;
}

HRESULT CreateAuthen(CComRef<IVOKAClientAuthen>& object) {
  const AuthenModule& module = LoadAuthenModule();
  if (!module.getClassObject) return E_FAIL;
  CComRef<IClassFactory> factory;
  HRESULT hr = module.getClassObject(CLSID_VOKAClientAuthen, IID_IClassFactory, factory.out());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, IID_IVOKAClientAuthen, object.out());
}

HRESULT InitializeForHttp(IVOKAClientAuthen* object, const std::string& httpBase, LONG* result) {
  CBstr udp(L"999.1.1.1:9"), http(std::wstring(httpBase.begin(), httpBase.end()).c_str());
  return object->Initialize(udp.get(), http.get(), result);
}

namespace {

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (; text && *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
  return wide;
}

}  // namespace

std::wstring TestUdpServer() { return Widen(std::getenv("VOKA_TEST_UDP")); }

std::wstring TestHttpServer() { return Widen(std::getenv("VOKA_TEST_HTTP")); }

bool HaveTestServer() { return !TestUdpServer().empty() && !TestHttpServer().empty(); }
