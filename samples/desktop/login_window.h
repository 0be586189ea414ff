// The sign-in window: user, password, the matrix card cell when the account
// asks for one, Log in, Cancel and a status line. Its thread only handles the
// window; each login runs on a LoginWorker.
#pragma once

#include <windows.h>

#include <string>

#include "login_settings.h"
#include "login_worker.h"

class LoginWindow {
 public:
  explicit LoginWindow(const LoginSettings& settings) : m_settings(settings) {}

  // Shows the window until the user closes it; true when the user logged in.
  bool Run(HINSTANCE instance);

 private:
  enum class State { kReady, kWaiting, kCardPrompt, kLoggedIn };

  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void OnLogIn();
  void OnCancel();
  void OnReport(const LoginReport& report);
  void StopWorker();
  void Enter(State state, const std::wstring& status);
  std::wstring Text(int control) const;

  const LoginSettings m_settings;
  HWND m_dialog = nullptr;
  State m_state = State::kReady;
  LoginWorker* m_worker = nullptr;  // the login the window waits for, if any
  UINT m_ticket = 0;                // the number of that login
  bool m_loggedIn = false;
};
