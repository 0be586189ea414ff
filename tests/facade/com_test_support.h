// Helpers of the C++ client tests of VOKA4ClientCom.DLL: the DLL loaded as
// COM loads it, owned BSTRs and interface pointers, and the endpoints of the
// voka-server fixture.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "facade/VOKA4ClientCom_h.h"

using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using DllCanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

// VOKA4ClientCom.DLL, loaded from the test's own folder for the whole run.
struct AuthenModule {
  HMODULE handle;
  DllGetClassObjectFn getClassObject;
  DllCanUnloadNowFn canUnloadNow;
};
const AuthenModule& LoadAuthenModule();

// Owns one BSTR.
class CBstr {
 public:
  CBstr() = default;
  explicit CBstr(const wchar_t* text) : m_bstr(SysAllocString(text)) {}
  CBstr(const wchar_t* text, UINT length) : m_bstr(SysAllocStringLen(text, length)) {}
  ~CBstr() { SysFreeString(m_bstr); }
  CBstr(const CBstr&) = delete;
  CBstr& operator=(const CBstr&) = delete;

  BSTR get() const { return m_bstr; }
  BSTR* out() {
    SysFreeString(m_bstr);
    m_bstr = nullptr;
    return &m_bstr;
  }
  std::wstring text() const { return m_bstr ? std::wstring(m_bstr, SysStringLen(m_bstr)) : std::wstring(); }

 private:
  BSTR m_bstr = nullptr;
};

// Owns one interface reference.
template <typename Interface>
class CComRef {
 public:
  CComRef() = default;
  explicit CComRef(Interface* adopted) : m_p(adopted) {}
  ~CComRef() { reset(); }
  CComRef(const CComRef&) = delete;
  CComRef& operator=(const CComRef&) = delete;

  Interface* operator->() const { return m_p; }
  Interface* get() const { return m_p; }
  void** out() {
    reset();
    return reinterpret_cast<void**>(&m_p);
  }
  void reset() {
    if (m_p) m_p->Release();
    m_p = nullptr;
  }

 private:
  Interface* m_p = nullptr;
};

// A new object through the DLL's own class factory.
HRESULT CreateAuthen(CComRef<IVOKAClientAuthen>& object);

// Initializes object with a UDP host that does not parse, so that every
// exchange fails at once and the dynamic key falls back to httpBase.
HRESULT InitializeForHttp(IVOKAClientAuthen* object, const std::string& httpBase, LONG* result);

// The voka-server fixture's endpoints, wide: "127.0.0.1:NNNN" and "http://127.0.0.1:NNNN".
std::wstring TestUdpServer();
std::wstring TestHttpServer();
bool HaveTestServer();
