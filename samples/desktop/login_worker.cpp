#include "login_worker.h"

#include <objbase.h>
#include <oleauto.h>

#include <memory>

#include "VOKA4ClientCom.h"

namespace {

struct BstrFree {
  void operator()(BSTR text) const { SysFreeString(text); }
};
using Bstr = std::unique_ptr<OLECHAR, BstrFree>;

Bstr MakeBstr(const std::wstring& text) { return Bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))); }

// The answer field NAME of the last call, empty when absent.
std::wstring Value(IVOKAClientAuthen* authen, const wchar_t* name) {
  Bstr key = MakeBstr(name);
  BSTR value = nullptr;
  long found = -1;
  const HRESULT call = authen->GetValue(key.get(), &value, &found);
  Bstr owned(value);
  return SUCCEEDED(call) && found == 0 && value ? std::wstring(value, SysStringLen(value)) : std::wstring();
}

std::wstring CallFailure(const wchar_t* method, HRESULT call) {
  wchar_t text[96];
  wsprintfW(text, L"%s failed (HRESULT 0x%08lX).", method, static_cast<unsigned long>(call));
  return text;
}

// The server's reason for a refusal, or the code when it gave none.
std::wstring Refusal(IVOKAClientAuthen* authen, long result) {
  std::wstring message = Value(authen, L"DESCMSG");
  if (!message.empty()) return message;
  wchar_t text[64];
  wsprintfW(text, L"Refused with code %ld.", result);
  return text;
}

}  // namespace

LoginWorker* LoginWorker::Start(HWND window, UINT message, UINT ticket, const LoginSettings& settings,
                                const std::wstring& user, const std::wstring& password) {
  auto* worker = new LoginWorker(window, message, ticket, settings, user, password);
  HANDLE thread = worker->m_cardAnswered ? CreateThread(nullptr, 0, Run, worker, 0, nullptr) : nullptr;
  if (thread == nullptr) {
    delete worker;
    return nullptr;
  }
  CloseHandle(thread);
  return worker;
}

LoginWorker::LoginWorker(HWND window, UINT message, UINT ticket, const LoginSettings& settings,
                         const std::wstring& user, const std::wstring& password)
    : m_window(window),
      m_message(message),
      m_ticket(ticket),
      m_settings(settings),
      m_user(user),
      m_password(password),
      m_cardAnswered(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

LoginWorker::~LoginWorker() {
  if (m_cardAnswered) CloseHandle(m_cardAnswered);
}

void LoginWorker::AnswerCard(const std::wstring& answer) {
  m_cardAnswer = answer;
  SetEvent(m_cardAnswered);
}

void LoginWorker::Abandon() {
  InterlockedExchange(&m_abandoned, 1);
  SetEvent(m_cardAnswered);
  Release();
}

void LoginWorker::Release() {
  if (InterlockedDecrement(&m_references) == 0) delete this;
}

DWORD WINAPI LoginWorker::Run(void* parameter) {
  auto* worker = static_cast<LoginWorker*>(parameter);
  // The object is apartment-threaded: this thread's own apartment holds it
  // and every call to it is made here.
  HRESULT call = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(call)) {
    IVOKAClientAuthen* authen = nullptr;
    call = CoCreateInstance(CLSID_VOKAClientAuthen, nullptr, CLSCTX_INPROC_SERVER, IID_IVOKAClientAuthen,
                            reinterpret_cast<void**>(&authen));
    if (SUCCEEDED(call)) {
      worker->Login(authen);
      authen->Release();
    } else {
      worker->Report(LoginStep::kFailed, CallFailure(L"Creating VOKA4ClientCom", call));
    }
    CoUninitialize();
  } else {
    worker->Report(LoginStep::kFailed, CallFailure(L"CoInitializeEx", call));
  }
  worker->Release();
  return 0;
}

void LoginWorker::Login(IVOKAClientAuthen* authen) {
  Bstr udp = MakeBstr(m_settings.udpServer), http = MakeBstr(m_settings.httpBase), user = MakeBstr(m_user),
       password = MakeBstr(m_password), app = MakeBstr(m_settings.appId), area = MakeBstr(m_settings.areaId),
       none = MakeBstr(L"");
  long result = 0;
  HRESULT call = authen->Initialize(udp.get(), http.get(), &result);
  if (SUCCEEDED(call)) call = authen->GetDynamicKey(none.get(), &result);
  if (SUCCEEDED(call) && result == 0) {
    call = authen->StaticAuthen(user.get(), password.get(), app.get(), area.get(), none.get(), none.get(), &result);
  }
  if (SUCCEEDED(call) && result == 0 && Value(authen, L"AUTHENSTATE") == L"4") {
    // The e-key library has put the token's password into EKEYPWD.
    Report(LoginStep::kUsingToken, std::wstring());
    Bstr ekeyPassword = MakeBstr(Value(authen, L"EKEYPWD")), ekeyType = MakeBstr(m_settings.ekeyType);
    call = authen->EKeyAuthen(user.get(), ekeyPassword.get(), ekeyType.get(), none.get(), &result);
  } else if (SUCCEEDED(call) && result == 0 && Value(authen, L"AUTHENSTATE") == L"2") {
    Report(LoginStep::kCardNeeded, Value(authen, L"POSITION"));
    HANDLE answered = m_cardAnswered;
    DWORD signalled = 0;
    // Waits as an apartment thread should, dispatching its messages.
    CoWaitForMultipleHandles(0, INFINITE, 1, &answered, &signalled);
    if (m_abandoned) return;
    Bstr answer = MakeBstr(m_cardAnswer);
    call = authen->ECardAuthen(user.get(), answer.get(), none.get(), &result);
  }
  if (FAILED(call)) {
    Report(LoginStep::kFailed, CallFailure(L"VOKA4ClientCom", call));
  } else if (result == 0 && Value(authen, L"AUTHENSTATE") == L"1") {
    Report(LoginStep::kLoggedIn, Value(authen, L"DESCMSG"));
  } else {
    Report(LoginStep::kRefused, Refusal(authen, result));
  }
}

void LoginWorker::Report(LoginStep step, const std::wstring& text) {
  if (m_abandoned) return;
  auto* report = new LoginReport{m_ticket, step, text};
  // Fails once the window is gone; the report is then nobody's.
  if (!PostMessageW(m_window, m_message, 0, reinterpret_cast<LPARAM>(report))) delete report;
}
