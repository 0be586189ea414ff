#include "login_settings.h"

#include <windows.h>

namespace {

// The program's own path with its extension replaced by .ini.
std::wstring SettingsFilePath() {
  std::wstring path = ProgramPath();
  const size_t dot = path.rfind(L'.');
  const size_t slash = path.find_last_of(L"\\/");
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
  return path + L".ini";
}

void ReadKey(const std::wstring& file, const wchar_t* section, const wchar_t* key, std::wstring& value) {
  wchar_t text[512];
  GetPrivateProfileStringW(section, key, value.c_str(), text, ARRAYSIZE(text), file.c_str());
  value = text;
}

}  // namespace

std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = 0;
  while ((length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()))) == path.size()) {
    path.resize(path.size() * 2);
  }
  path.resize(length);
  return path;
}

void ReadSettingsFile(LoginSettings& settings) {
  const std::wstring file = SettingsFilePath();
  ReadKey(file, L"server", L"udp", settings.udpServer);
  ReadKey(file, L"server", L"http", settings.httpBase);
  ReadKey(file, L"login", L"app", settings.appId);
  ReadKey(file, L"login", L"area", settings.areaId);
  ReadKey(file, L"login", L"ekey_type", settings.ekeyType);
}

bool ApplyCommandLine(int count, wchar_t** args, LoginSettings& settings, std::wstring& error) {
  const struct {
    const wchar_t* option;
    std::wstring* value;
  } options[] = {{L"--udp", &settings.udpServer},
                 {L"--http", &settings.httpBase},
                 {L"--app", &settings.appId},
                 {L"--area", &settings.areaId},
                 {L"--ekey-type", &settings.ekeyType}};
  for (int i = 0; i < count; i += 2) {
    std::wstring* target = nullptr;
    for (const auto& known : options) {
      if (lstrcmpW(args[i], known.option) == 0) target = known.value;
    }
    if (target == nullptr) {
      error = std::wstring(L"unknown option ") + args[i];
      return false;
    }
    if (i + 1 >= count) {
      error = std::wstring(L"option ") + args[i] + L" needs a value";
      return false;
    }
    *target = args[i + 1];
  }
  return true;
}
