// CVOKAClientAuthenFactory: the class factory of VOKAClientAuthen. The module
// holds one reference for its whole life; every further reference keeps the
// module locked.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>

class CVOKAClientAuthenFactory : public IClassFactory {
 public:
  CVOKAClientAuthenFactory() = default;
  CVOKAClientAuthenFactory(const CVOKAClientAuthenFactory&) = delete;
  CVOKAClientAuthenFactory& operator=(const CVOKAClientAuthenFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  virtual ~CVOKAClientAuthenFactory() = default;

  std::atomic<ULONG> m_nRefCount{1};  // the module's own reference
};
