// CVOKAClientAuthen: the creatable class VOKAClientAuthen. A thin adapter
// from the dual interface IVOKAClientAuthen to its own engine CClientAuthen;
// it can live alone or inside an aggregate.
#pragma once

#include <windows.h>

#include <atomic>

#include "facade/VOKA4ClientCom_h.h"
#include "voka/client_authen.h"

class CVOKAClientAuthen : public IVOKAClientAuthen {
 public:
  // The interface that IDispatch describes: the newest the class implements.
  static constexpr const IID& kDispatchInterface = IID_IVOKAClientAuthen;

  // Makes a new object (aggregated when outer is given) and asks it for riid.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** object);

  CVOKAClientAuthen(const CVOKAClientAuthen&) = delete;
  CVOKAClientAuthen& operator=(const CVOKAClientAuthen&) = delete;

  // IUnknown, delegated to the controlling unknown.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch, through the type information of IVOKAClientAuthen.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** typeInfo) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* dispIds) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispId, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // IVOKAClientAuthen
  HRESULT STDMETHODCALLTYPE Initialize(BSTR bstrUdpServer, BSTR bstrTcpServer, LONG* lRet) override;
  HRESULT STDMETHODCALLTYPE GetDynamicKey(BSTR bstrIndication, LONG* lRet) override;
  HRESULT STDMETHODCALLTYPE StaticAuthen(BSTR bstrUserId, BSTR bstrPwd, BSTR bstrAppId, BSTR bstrAreaId,
                                         BSTR bstrCheckCode, BSTR bstrIndication, LONG* lRet) override;
  HRESULT STDMETHODCALLTYPE EKeyAuthen(BSTR bstrUserId, BSTR bstrEkeyPwd, BSTR bstrEkeyType, BSTR bstrIndication,
                                       LONG* lRet) override;
  HRESULT STDMETHODCALLTYPE ECardAuthen(BSTR bstrUserId, BSTR bstrEcardPos, BSTR bstrIndication, LONG* lRet) override;
  HRESULT STDMETHODCALLTYPE GetValue(BSTR bstrKey, BSTR* bstrValue, LONG* lRet) override;

 private:
  // The non-delegating IUnknown that owns the object's lifetime; an
  // aggregate holds this one.
  class CInnerUnknown : public IUnknown {
   public:
    explicit CInnerUnknown(CVOKAClientAuthen& owner) : m_Owner(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

   private:
    CVOKAClientAuthen& m_Owner;
  };

  explicit CVOKAClientAuthen(IUnknown* outer);
  virtual ~CVOKAClientAuthen();

  CInnerUnknown m_InnerUnknown;
  IUnknown* m_pControllingUnknown;  // the outer object, or m_InnerUnknown
  // Atomic although the object is apartment-threaded: a host that calls
  // AddRef and Release from two threads must not free it early.
  std::atomic<ULONG> m_nRefCount{1};
  CClientAuthen m_ClientAuthen;
};
