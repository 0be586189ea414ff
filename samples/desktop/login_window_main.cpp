// login_window: a sign-in window on top of VOKA4ClientCom.DLL, used side by
// side through login_window.exe.manifest without registration.
//
// Usage: login_window [--udp HOST[:PORT]] [--http BASE_URL] [--app ID] [--area ID] [--ekey-type N]
// (defaults from login_window.ini beside the program). Exit status: 0 when
// the user logged in, 1 when the window was closed without logging in, 2 for
// a usage error.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>

#include "login_settings.h"
#include "login_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  LoginSettings settings;
  ReadSettingsFile(settings);
  std::wstring error;
  if (!ApplyCommandLine(__argc - 1, __wargv + 1, settings, error)) {
    MessageBoxW(nullptr, error.c_str(), L"login_window", MB_ICONERROR);
    return 2;
  }
  return LoginWindow(settings).Run(instance) ? 0 : 1;
}
