// One login, or one connection test, run on a thread of its own: for a login
// the thread initialises its own apartment, creates its own VOKA4ClientCom
// object and makes every call, so that the window's thread never waits on the
// network. The worker reports to the window by posting messages; the window
// may abandon it at any moment, after which the calls still running finish on
// the worker's thread and their results are dropped (a connection test is
// ended at once).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "connection_check.h"
#include "login_settings.h"

struct IVOKAClientAuthen;

enum class LoginStep {
  kCheckingPassword,  // the account login is on its way to the server
  kUsingToken,        // the account needs the USB e-key; its password is on its way
  kCardNeeded,        // the account needs a matrix card cell; text names the cell
  kLoggedIn,          // text is the server's message
  kRefused,           // text is the server's (or the component's) message
  kFailed,            // the object could not be created or called, or nothing was sent; text says why
  kCheckLine,         // the connection test wrote the line text
  kCheckDone,         // the connection test ended; text is its verdict, or why it could not run
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
  static LoginWorker* StartLogin(HWND window, UINT message, UINT ticket, const LoginSettings& settings,
                                 const std::wstring& user, const std::wstring& password);

  // Starts a connection test of SETTINGS' servers, reported as a login is.
  static LoginWorker* StartCheck(HWND window, UINT message, UINT ticket, const LoginSettings& settings);

  // The digits of the cell named by kCardNeeded.
  void AnswerCard(const std::wstring& answer);

  // The window wants no more reports; the worker frees itself when its
  // thread ends. The pointer is invalid afterwards.
  void Abandon();

 private:
  enum class Job { kLogin, kCheck };

  LoginWorker(HWND window, UINT message, UINT ticket, const LoginSettings& settings, Job job, const std::wstring& user,
              const std::wstring& password);
  ~LoginWorker();
  static LoginWorker* Start(LoginWorker* worker);
  static DWORD WINAPI Run(void* worker);
  void RunLogin();
  void Login(IVOKAClientAuthen* authen);
  void CheckConnection();
  void Report(LoginStep step, const std::wstring& text);
  void Release();

  const HWND m_window;
  const UINT m_message;
  const UINT m_ticket;
  const LoginSettings m_settings;
  const Job m_job;
  const std::wstring m_user;
  const std::wstring m_password;
  std::wstring m_cardAnswer;    // written before m_cardAnswered is set
  const HANDLE m_cardAnswered;  // set by AnswerCard and by Abandon
  ConnectionCheck m_check;
  std::atomic<bool> m_abandoned{false};
  std::atomic<int> m_references{2};  // the window's and the thread's
};
