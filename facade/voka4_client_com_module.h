// CVOKA4ClientComModule: the process-wide state of VOKA4ClientCom.DLL, alive
// from library load to unload: module handle, lock count, the one class
// factory and the cached type information.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <string>

class CVOKAClientAuthenFactory;

class CVOKA4ClientComModule {
 public:
  CVOKA4ClientComModule();
  ~CVOKA4ClientComModule();
  CVOKA4ClientComModule(const CVOKA4ClientComModule&) = delete;
  CVOKA4ClientComModule& operator=(const CVOKA4ClientComModule&) = delete;

  void Attach(HINSTANCE instance);
  // Releases the factory and the type information; skipped when the whole
  // process is ending, since other DLLs may already be gone.
  void Detach(bool processTerminating);

  LONG Lock();
  LONG Unlock();
  HRESULT CanUnloadNow() const;

  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);
  // The type information of the object's dispatch interface, loaded on
  // first use; the caller releases the reference it receives.
  HRESULT GetAuthenTypeInfo(REFIID interfaceId, ITypeInfo** typeInfo);
  // Full path of this DLL.
  HRESULT GetModulePath(std::wstring& path) const;

 private:
  HINSTANCE m_hInstance = nullptr;
  std::atomic<LONG> m_nLockCount{0};
  CRITICAL_SECTION m_csFactory;
  CVOKAClientAuthenFactory* m_pFactory = nullptr;
  std::atomic<ITypeInfo*> m_pTypeInfo{nullptr};
};

extern CVOKA4ClientComModule g_Module;
