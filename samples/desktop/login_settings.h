// Where the sign-in window logs in: the settings file beside the program,
// overridden by the command line.
#pragma once

#include <string>

struct LoginSettings {
  std::wstring udpServer = L"127.0.0.1:8025";
  std::wstring httpBase = L"http://127.0.0.1:8080";
  std::wstring appId = L"1";
  std::wstring areaId = L"1";
  std::wstring ekeyType = L"1";
};

// The running program's path; its settings file and voka-auth.exe lie beside it.
std::wstring ProgramPath();

// Reads login_window.ini (named after the program) from the program's folder;
// a missing file or key keeps the default.
void ReadSettingsFile(LoginSettings& settings);

// Applies --udp, --http, --app, --area and --ekey-type from ARGS (the
// arguments after the program's name); false, with ERROR set, for an unknown
// option or a missing value.
bool ApplyCommandLine(int count, wchar_t** args, LoginSettings& settings, std::wstring& error);
