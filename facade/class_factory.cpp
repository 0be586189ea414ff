#include "facade/class_factory.h"

#include "facade/voka4_client_com_module.h"
#include "facade/voka_client_authen.h"

namespace {
constexpr ULONG kModuleReferenceOnly = 1;
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthenFactory::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CVOKAClientAuthenFactory::AddRef() {
  const ULONG count = ++m_nRefCount;
  if (count == kModuleReferenceOnly + 1) g_Module.Lock();
  return count;
}

ULONG STDMETHODCALLTYPE CVOKAClientAuthenFactory::Release() {
  const ULONG count = --m_nRefCount;
  if (count == kModuleReferenceOnly) g_Module.Unlock();
  if (count == 0) delete this;
  return count;
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthenFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return CVOKAClientAuthen::Create(outer, riid, object);
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthenFactory::LockServer(BOOL lock) {
  if (lock) {
    g_Module.Lock();
  } else {
    g_Module.Unlock();
  }
  return S_OK;
}
