// The sign-in window: user, password, the matrix card cell when the account
// asks for one, Log in, Cancel, Test connection and a status line; the
// connection test's output shows below the buttons. Its thread only handles
// the window; each login and each test runs on a LoginWorker.
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
  void OnInit(HWND dialog);
  void OnLogIn();
  void OnCheck();
  void OnCancel();
  void OnReport(const LoginReport& report);
  void StopWorker();
  void Enter(State state, const std::wstring& status);
  void Wait(UINT text);
  std::wstring WaitStatus() const;
  void ShowCheckOutput(bool shown);
  void AppendCheckLine(const std::wstring& line);
  std::wstring Text(int control) const;

  const LoginSettings m_settings;
  HWND m_dialog = nullptr;
  HFONT m_statusFont = nullptr;  // bold: the status holds each outcome
  int m_collapsedHeight = 0;     // the window's height without the check's output
  int m_expandedHeight = 0;      // and with it
  State m_state = State::kReady;
  UINT m_waitText = 0;  // while waiting: the string that says for what
  ULONGLONG m_waitingSince = 0;
  LoginWorker* m_worker = nullptr;  // the login or test the window waits for, if any
  UINT m_ticket = 0;                // the number of that login or test
  bool m_loggedIn = false;
};
