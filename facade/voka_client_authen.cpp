#include "facade/voka_client_authen.h"

#include <array>
#include <new>
#include <string>

#include "codec/bstr_convert.h"
#include "facade/bstr_arguments.h"
#include "facade/script_invoke.h"
#include "facade/voka4_client_com_module.h"

namespace {

// Runs body, turning exceptions into HRESULTs: nothing is thrown past the COM
// boundary.
template <typename Body>
HRESULT WithoutExceptions(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// Converts the arguments, runs one engine operation and stores its result in
// lRet. The outcome of the operation travels only in lRet; HRESULTs report
// bad pointers and failed conversions. lRet reads as a failure until the
// engine has run, so a caller that checks only lRet never sees a failed call
// as success. A text the code page cannot hold is refused by the engine, so
// that nothing changed is ever sent.
template <size_t N, typename Operation>
HRESULT RunEngineOperation(CClientAuthen& engine, const BSTR (&arguments)[N], LONG* lRet, Operation operation) {
  if (!lRet) return E_POINTER;
  *lRet = AUTHEN_E_FAIL;
  return WithoutExceptions([&]() -> HRESULT {
    std::array<std::string, N> texts;
    for (size_t i = 0; i < N; ++i) {
      const HRESULT hr = ArgumentToAnsi(arguments[i], texts[i]);
      if (hr == kTextNotInCodePage) {
        *lRet = engine.RefuseTextNotInCodePage();
        return S_OK;
      }
      if (FAILED(hr)) return hr;
    }
    *lRet = operation(texts);
    return S_OK;
  });
}

// RunEngineOperation for a request or Initialize: an argument longer than the
// longest request fits none, whatever the transport, since every character
// takes at least one byte (an endpoint is part of every request). It is
// refused before anything is converted, so that a huge text costs the host
// nothing; Initialize then leaves the endpoints as they were.
template <size_t N, typename Operation>
HRESULT RunEngineRequest(CClientAuthen& engine, const BSTR (&arguments)[N], LONG* lRet, Operation operation) {
  if (!lRet) return E_POINTER;
  for (BSTR argument : arguments) {
    if (SysStringLen(argument) > kLongestUrl) {
      *lRet = engine.RefuseRequestTooLong();
      return S_OK;
    }
  }
  return RunEngineOperation(engine, arguments, lRet, operation);
}

}  // namespace

HRESULT CVOKAClientAuthen::Create(IUnknown* outer, REFIID riid, void** object) {
  *object = nullptr;
  CVOKAClientAuthen* created = nullptr;
  const HRESULT made = WithoutExceptions([&]() -> HRESULT {
    created = new CVOKAClientAuthen(outer);
    return S_OK;
  });
  if (FAILED(made)) return made;
  // The query takes its own reference; dropping the creation reference then
  // destroys the object when the query failed.
  const HRESULT hr = created->m_InnerUnknown.QueryInterface(riid, object);
  created->m_InnerUnknown.Release();
  return hr;
}

CVOKAClientAuthen::CVOKAClientAuthen(IUnknown* outer)
    : m_InnerUnknown(*this), m_pControllingUnknown(outer ? outer : &m_InnerUnknown) {
  g_Module.Lock();
}

CVOKAClientAuthen::~CVOKAClientAuthen() { g_Module.Unlock(); }

HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::CInnerUnknown::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown)) {
    *object = static_cast<IUnknown*>(this);
  } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IVOKAClientAuthen)) {
    *object = static_cast<IVOKAClientAuthen*>(&m_Owner);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*object)->AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CVOKAClientAuthen::CInnerUnknown::AddRef() { return ++m_Owner.m_nRefCount; }

ULONG STDMETHODCALLTYPE CVOKAClientAuthen::CInnerUnknown::Release() {
  const ULONG count = --m_Owner.m_nRefCount;
  if (count == 0) delete &m_Owner;
  return count;
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::QueryInterface(REFIID riid, void** object) {
  return m_pControllingUnknown->QueryInterface(riid, object);
}

ULONG STDMETHODCALLTYPE CVOKAClientAuthen::AddRef() { return m_pControllingUnknown->AddRef(); }

ULONG STDMETHODCALLTYPE CVOKAClientAuthen::Release() { return m_pControllingUnknown->Release(); }

HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::GetTypeInfo(UINT index, LCID, ITypeInfo** typeInfo) {
  if (!typeInfo) return E_POINTER;
  *typeInfo = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return g_Module.GetAuthenTypeInfo(kDispatchInterface, typeInfo);
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                                           DISPID* dispIds) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!names || count == 0) return E_INVALIDARG;
  ITypeInfo* typeInfo = nullptr;
  HRESULT hr = g_Module.GetAuthenTypeInfo(kDispatchInterface, &typeInfo);
  if (FAILED(hr)) return hr;
  hr = typeInfo->GetIDsOfNames(names, count, dispIds);
  typeInfo->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::Invoke(DISPID dispId, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                                    VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  HRESULT hr = S_OK;
  if (InvokeScriptGetValue(this, dispId, flags, params, result, argError, hr)) return hr;
  ITypeInfo* typeInfo = nullptr;
  hr = g_Module.GetAuthenTypeInfo(kDispatchInterface, &typeInfo);
  if (FAILED(hr)) return hr;
  hr = typeInfo->Invoke(static_cast<IVOKAClientAuthen*>(this), dispId, flags, params, result, exception, argError);
  typeInfo->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::Initialize(BSTR bstrUdpServer, BSTR bstrTcpServer, LONG* lRet) {
  return RunEngineRequest(m_ClientAuthen, {bstrUdpServer, bstrTcpServer}, lRet, [this](const auto& text) {
    return m_ClientAuthen.Initialize(text[0].c_str(), text[1].c_str());
  });
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::GetDynamicKey(BSTR bstrIndication, LONG* lRet) {
  return RunEngineRequest(m_ClientAuthen, {bstrIndication}, lRet,
                          [this](const auto& text) { return m_ClientAuthen.GetDynamicKey(text[0].c_str()); });
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::StaticAuthen(BSTR bstrUserId, BSTR bstrPwd, BSTR bstrAppId,
                                                          BSTR bstrAreaId, BSTR bstrCheckCode, BSTR bstrIndication,
                                                          LONG* lRet) {
  return RunEngineRequest(m_ClientAuthen, {bstrUserId, bstrPwd, bstrAppId, bstrAreaId, bstrCheckCode, bstrIndication},
                          lRet, [this](const auto& text) {
                            return m_ClientAuthen.StaticAuthen(text[0].c_str(), text[1].c_str(), text[2].c_str(),
                                                               text[3].c_str(), text[4].c_str(), text[5].c_str());
                          });
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::EKeyAuthen(BSTR bstrUserId, BSTR bstrEkeyPwd, BSTR bstrEkeyType,
                                                        BSTR bstrIndication, LONG* lRet) {
  return RunEngineRequest(
      m_ClientAuthen, {bstrUserId, bstrEkeyPwd, bstrEkeyType, bstrIndication}, lRet, [this](const auto& text) {
        return m_ClientAuthen.EKeyAuthen(text[0].c_str(), text[1].c_str(), text[2].c_str(), text[3].c_str());
      });
}

HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::ECardAuthen(BSTR bstrUserId, BSTR bstrEcardPos, BSTR bstrIndication,
                                                         LONG* lRet) {
  return RunEngineRequest(m_ClientAuthen, {bstrUserId, bstrEcardPos, bstrIndication}, lRet, [this](const auto& text) {
    return m_ClientAuthen.ECardAuthen(text[0].c_str(), text[1].c_str(), text[2].c_str());
  });
}

// Hands over the whole value, however long; lRet is stored before the string.
// It reads as "absent" unless the engine found the key and the value was
// handed over.
HRESULT STDMETHODCALLTYPE CVOKAClientAuthen::GetValue(BSTR bstrKey, BSTR* bstrValue, LONG* lRet) {
  if (!bstrValue || !lRet) return E_POINTER;
  *bstrValue = nullptr;
  *lRet = -1;
  return WithoutExceptions([&]() -> HRESULT {
    std::string key;
    HRESULT hr = ArgumentToAnsi(bstrKey, key);
    if (FAILED(hr) && hr != kTextNotInCodePage) return hr;
    // A key the code page cannot hold names no field.
    std::string value;
    *lRet = hr == kTextNotInCodePage ? -1 : m_ClientAuthen.GetValue(key.c_str(), value);
    BSTR text = nullptr;
    hr = AnsiToBstr(value.c_str(), &text);
    if (FAILED(hr)) {
      *lRet = -1;  // no value was handed over
      return hr;
    }
    *bstrValue = text;
    return S_OK;
  });
}
