#include "login_worker.h"

#include <objbase.h>
#include <oleauto.h>

#include <initializer_list>
#include <memory>

#include "VOKA4ClientCom.h"
#include "login_window_ids.h"
#include "window_text.h"

namespace {

// AUTHENSTATE after an account login that returned 0 (com-api.md).
constexpr wchar_t kStateLoggedIn[] = L"1";
constexpr wchar_t kStateNeedsECard[] = L"2";
constexpr wchar_t kStateNeedsEKey[] = L"4";

struct BstrFree {
  void operator()(BSTR text) const { SysFreeString(text); }
};
using Bstr = std::unique_ptr<OLECHAR, BstrFree>;

Bstr MakeBstr(const std::wstring& text) { return Bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))); }

// A BSTR that could not be allocated is null, which the object reads as an
// empty string: a call with one must not be made.
bool Allocated(std::initializer_list<const Bstr*> texts) {
  for (const Bstr* text : texts) {
    if (!*text) return false;
  }
  return true;
}

// The answer field NAME of the last call, empty when absent or unreadable.
std::wstring Value(IVOKAClientAuthen* authen, const wchar_t* name) {
  Bstr key = MakeBstr(name);
  BSTR value = nullptr;
  long found = -1;
  const HRESULT call = key ? authen->GetValue(key.get(), &value, &found) : E_OUTOFMEMORY;
  Bstr owned(value);
  return SUCCEEDED(call) && found == 0 && value ? std::wstring(value, SysStringLen(value)) : std::wstring();
}

std::wstring CallFailure(const wchar_t* method, HRESULT call) {
  wchar_t code[16];
  wsprintfW(code, L"%08lX", static_cast<unsigned long>(call));
  return FormatText(IDS_CALL_FAILED, {method, code});
}

// The server's reason for a refusal, or the code when it gave none; and
// why the request failed when no answer was read ("=CAUSE": its stable
// name, for support staff to look up).
std::wstring Refusal(IVOKAClientAuthen* authen, long result) {
  std::wstring message = Value(authen, L"DESCMSG");
  if (message.empty()) message = FormatText(IDS_REFUSED_CODE, {std::to_wstring(result)});
  const std::wstring cause = Value(authen, L"=CAUSE");
  return cause.empty() || cause == L"none" ? message : FormatText(IDS_WITH_CAUSE, {message, cause});
}

}  // namespace

LoginWorker* LoginWorker::StartLogin(HWND window, UINT message, UINT ticket, const LoginSettings& settings,
                                     const std::wstring& user, const std::wstring& password) {
  return Start(new LoginWorker(window, message, ticket, settings, Job::kLogin, user, password));
}

LoginWorker* LoginWorker::StartCheck(HWND window, UINT message, UINT ticket, const LoginSettings& settings) {
  return Start(new LoginWorker(window, message, ticket, settings, Job::kCheck, std::wstring(), std::wstring()));
}

LoginWorker* LoginWorker::Start(LoginWorker* worker) {
  HANDLE thread = worker->m_cardAnswered ? CreateThread(nullptr, 0, Run, worker, 0, nullptr) : nullptr;
  if (thread == nullptr) {
    delete worker;
    return nullptr;
  }
  CloseHandle(thread);
  return worker;
}

LoginWorker::LoginWorker(HWND window, UINT message, UINT ticket, const LoginSettings& settings, Job job,
                         const std::wstring& user, const std::wstring& password)
    : m_window(window),
      m_message(message),
      m_ticket(ticket),
      m_settings(settings),
      m_job(job),
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
  m_abandoned.store(true);
  SetEvent(m_cardAnswered);
  m_check.Stop();
  Release();
}

void LoginWorker::Release() {
  if (m_references.fetch_sub(1) == 1) delete this;
}

DWORD WINAPI LoginWorker::Run(void* parameter) {
  auto* worker = static_cast<LoginWorker*>(parameter);
  if (worker->m_job == Job::kCheck) {
    worker->CheckConnection();
  } else {
    worker->RunLogin();
  }
  worker->Release();
  return 0;
}

void LoginWorker::RunLogin() {
  // The object is apartment-threaded: this thread's own apartment holds it
  // and every call to it is made here.
  HRESULT call = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(call)) {
    Report(LoginStep::kFailed, CallFailure(L"CoInitializeEx", call));
    return;
  }
  IVOKAClientAuthen* authen = nullptr;
  call = CoCreateInstance(CLSID_VOKAClientAuthen, nullptr, CLSCTX_INPROC_SERVER, IID_IVOKAClientAuthen,
                          reinterpret_cast<void**>(&authen));
  if (SUCCEEDED(call)) {
    Login(authen);
    authen->Release();
  } else {
    Report(LoginStep::kFailed, CallFailure(L"Creating VOKA4ClientCom", call));
  }
  CoUninitialize();
}

void LoginWorker::Login(IVOKAClientAuthen* authen) {
  Bstr udp = MakeBstr(m_settings.udpServer), http = MakeBstr(m_settings.httpBase), user = MakeBstr(m_user),
       password = MakeBstr(m_password), app = MakeBstr(m_settings.appId), area = MakeBstr(m_settings.areaId),
       none = MakeBstr(L"");
  if (!Allocated({&udp, &http, &user, &password, &app, &area, &none})) {
    return Report(LoginStep::kFailed, LoadText(IDS_NO_MEMORY));
  }
  long result = 0;
  HRESULT call = authen->Initialize(udp.get(), http.get(), &result);
  if (SUCCEEDED(call)) call = authen->GetDynamicKey(none.get(), &result);
  if (SUCCEEDED(call) && result == 0) {
    Report(LoginStep::kCheckingPassword, std::wstring());
    call = authen->StaticAuthen(user.get(), password.get(), app.get(), area.get(), none.get(), none.get(), &result);
  }
  const std::wstring state = SUCCEEDED(call) && result == 0 ? Value(authen, L"AUTHENSTATE") : std::wstring();
  if (state == kStateNeedsEKey) {
    // The e-key library has put the token's password into EKEYPWD.
    const std::wstring tokenPassword = Value(authen, L"EKEYPWD");
    if (tokenPassword.empty()) return Report(LoginStep::kFailed, LoadText(IDS_NO_TOKEN_PASSWORD));
    Bstr ekeyPassword = MakeBstr(tokenPassword), ekeyType = MakeBstr(m_settings.ekeyType);
    if (!Allocated({&ekeyPassword, &ekeyType})) return Report(LoginStep::kFailed, LoadText(IDS_NO_MEMORY));
    Report(LoginStep::kUsingToken, std::wstring());
    call = authen->EKeyAuthen(user.get(), ekeyPassword.get(), ekeyType.get(), none.get(), &result);
  } else if (state == kStateNeedsECard) {
    Report(LoginStep::kCardNeeded, Value(authen, L"POSITION"));
    HANDLE answered = m_cardAnswered;
    DWORD signalled = 0;
    // Waits as an apartment thread should, dispatching its messages.
    CoWaitForMultipleHandles(0, INFINITE, 1, &answered, &signalled);
    if (m_abandoned.load()) return;
    Bstr answer = MakeBstr(m_cardAnswer);
    if (!answer) return Report(LoginStep::kFailed, LoadText(IDS_NO_MEMORY));
    call = authen->ECardAuthen(user.get(), answer.get(), none.get(), &result);
  }
  if (FAILED(call)) {
    Report(LoginStep::kFailed, CallFailure(L"VOKA4ClientCom", call));
  } else if (result == 0 && Value(authen, L"AUTHENSTATE") == kStateLoggedIn) {
    Report(LoginStep::kLoggedIn, Value(authen, L"DESCMSG"));
  } else {
    Report(LoginStep::kRefused, Refusal(authen, result));
  }
}

void LoginWorker::CheckConnection() {
  std::wstring lastLine, errorText;
  DWORD exitCode = 0;
  const auto showLine = [this](const std::wstring& line) { Report(LoginStep::kCheckLine, line); };
  if (!m_check.Run(m_settings, showLine, lastLine, exitCode, errorText)) {
    Report(LoginStep::kCheckDone, errorText);
  } else if (lastLine.empty()) {
    Report(LoginStep::kCheckDone, FormatText(IDS_CHECK_NO_VERDICT, {std::to_wstring(exitCode)}));
  } else {
    Report(LoginStep::kCheckDone, lastLine);
  }
}

void LoginWorker::Report(LoginStep step, const std::wstring& text) {
  if (m_abandoned.load()) return;
  auto* report = new LoginReport{m_ticket, step, text};
  // Fails once the window is gone; the report is then nobody's.
  if (!PostMessageW(m_window, m_message, 0, reinterpret_cast<LPARAM>(report))) delete report;
}
