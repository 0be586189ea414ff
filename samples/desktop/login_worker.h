// One login, run on a thread of its own: the thread initialises its own
// apartment, creates its own VOKA4ClientCom object and makes every call, so
// that the window's thread never waits on the network. The worker reports to
// the window by posting messages; the window may abandon it at any moment,
// after which the calls still running finish on the worker's thread and their
// results are dropped.
#pragma once

#include <windows.h>

#include <string>

#include "login_settings.h"

struct IVOKAClientAuthen;

enum class LoginStep {
  kUsingToken,  // the account needs the USB e-key; its password is being sent
  kCardNeeded,  // the account needs a matrix card cell; text names the cell
  kLoggedIn,    // text is the server's message
  kRefused,     // text is the server's (or the component's) message
  kFailed,      // the object could not be created or called
};

struct LoginReport {
  UINT ticket;  // the login this report belongs to
  LoginStep step;
  std::wstring text;
};

class LoginWorker {
 public:
  // Starts a login. Each report is posted to WINDOW as MESSAGE with a
  // LoginReport* in lParam, which the window deletes. Null when no thread
  // could be started.
  static LoginWorker* Start(HWND window, UINT message, UINT ticket, const LoginSettings& settings,
                            const std::wstring& user, const std::wstring& password);

  // The digits of the cell named by kCardNeeded.
  void AnswerCard(const std::wstring& answer);

  // The window wants no more reports; the worker frees itself when its
  // thread ends. The pointer is invalid afterwards.
  void Abandon();

 private:
  LoginWorker(HWND window, UINT message, UINT ticket, const LoginSettings& settings, const std::wstring& user,
              const std::wstring& password);
  ~LoginWorker();
  static DWORD WINAPI Run(void* worker);
  void Login(IVOKAClientAuthen* authen);
  void Report(LoginStep step, const std::wstring& text);
  void Release();

  const HWND m_window;
  const UINT m_message;
  const UINT m_ticket;
  const LoginSettings m_settings;
  const std::wstring m_user;
  const std::wstring m_password;
  std::wstring m_cardAnswer;    // written before m_cardAnswered is set
  const HANDLE m_cardAnswered;  // set by AnswerCard and by Abandon
  volatile LONG m_abandoned = 0;
  volatile LONG m_references = 2;  // the window's and the thread's
};
