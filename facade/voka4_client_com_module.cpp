#include "facade/voka4_client_com_module.h"

#include <new>

#include "facade/VOKA4ClientCom_h.h"
#include "facade/class_factory.h"
#include "facade/type_library.h"

CVOKA4ClientComModule g_Module;

CVOKA4ClientComModule::CVOKA4ClientComModule() { InitializeCriticalSection(&m_csFactory); }

CVOKA4ClientComModule::~CVOKA4ClientComModule() { DeleteCriticalSection(&m_csFactory); }

void CVOKA4ClientComModule::Attach(HINSTANCE instance) { m_hInstance = instance; }

void CVOKA4ClientComModule::Detach(bool processTerminating) {
  if (processTerminating) return;
  if (m_pFactory) {
    m_pFactory->Release();
    m_pFactory = nullptr;
  }
  if (ITypeInfo* typeInfo = m_pTypeInfo.exchange(nullptr)) typeInfo->Release();
}

LONG CVOKA4ClientComModule::Lock() { return ++m_nLockCount; }

LONG CVOKA4ClientComModule::Unlock() { return --m_nLockCount; }

HRESULT CVOKA4ClientComModule::CanUnloadNow() const { return m_nLockCount.load() == 0 ? S_OK : S_FALSE; }

HRESULT CVOKA4ClientComModule::GetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_VOKAClientAuthen)) return CLASS_E_CLASSNOTAVAILABLE;

  EnterCriticalSection(&m_csFactory);
  if (!m_pFactory) m_pFactory = new (std::nothrow) CVOKAClientAuthenFactory();
  CVOKAClientAuthenFactory* factory = m_pFactory;
  LeaveCriticalSection(&m_csFactory);
  if (!factory) return E_OUTOFMEMORY;

  const HRESULT hr = factory->QueryInterface(riid, object);
  if (SUCCEEDED(hr) && !*object) return CLASS_E_CLASSNOTAVAILABLE;
  return hr;
}

HRESULT CVOKA4ClientComModule::GetAuthenTypeInfo(REFIID interfaceId, ITypeInfo** typeInfo) {
  *typeInfo = nullptr;
  ITypeInfo* cached = m_pTypeInfo.load();
  if (!cached) {
    std::wstring path;
    HRESULT hr = GetModulePath(path);
    if (FAILED(hr)) return hr;
    ITypeInfo* loaded = nullptr;
    hr = LoadAuthenTypeInfo(path, interfaceId, &loaded);
    if (FAILED(hr)) return hr;
    // Another thread may have published first; keep one copy.
    if (m_pTypeInfo.compare_exchange_strong(cached, loaded)) {
      cached = loaded;
    } else {
      loaded->Release();
    }
  }
  cached->AddRef();
  *typeInfo = cached;
  return S_OK;
}

HRESULT CVOKA4ClientComModule::GetModulePath(std::wstring& path) const {
  try {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length = GetModuleFileNameW(m_hInstance, &buffer[0], static_cast<DWORD>(buffer.size()));
      if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
      if (length < buffer.size()) {
        buffer.resize(length);
        path = std::move(buffer);
        return S_OK;
      }
      buffer.resize(buffer.size() * 2);
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
