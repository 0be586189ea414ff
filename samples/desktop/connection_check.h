// The connection test of the sign-in window: voka-auth.exe check, found beside
// the program (the SDK ships them together), run against the window's servers
// with its output read line by line.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "login_settings.h"

class ConnectionCheck {
 public:
  ConnectionCheck() = default;
  ~ConnectionCheck();
  ConnectionCheck(const ConnectionCheck&) = delete;
  ConnectionCheck& operator=(const ConnectionCheck&) = delete;

  // Runs the check to its end, handing each line it writes (standard output
  // and error) to ON_LINE, and returns the last line; when the program cannot
  // be started, returns false with ERROR_TEXT saying so.
  bool Run(const LoginSettings& settings, const std::function<void(const std::wstring&)>& onLine,
           std::wstring& lastLine, DWORD& exitCode, std::wstring& errorText);

  // From any thread: ends the program, so that Run returns at once.
  void Stop();

 private:
  // Kept open until the object goes, so that Stop never meets a closed handle.
  std::atomic<HANDLE> m_process{nullptr};
  std::atomic<bool> m_stopped{false};
};
