// The four exports of VOKA4ClientCom.DLL and its entry point.
#include <windows.h>

#include <string>

#include "facade/server_registration.h"
#include "facade/voka4_client_com_module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_Module.Attach(instance);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    g_Module.Detach(reserved != nullptr);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  return g_Module.GetClassObject(clsid, riid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return g_Module.CanUnloadNow(); }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  std::wstring path;
  const HRESULT hr = g_Module.GetModulePath(path);
  return FAILED(hr) ? hr : RegisterServer(path);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  std::wstring path;
  const HRESULT hr = g_Module.GetModulePath(path);
  return FAILED(hr) ? hr : UnregisterServer(path);
}
