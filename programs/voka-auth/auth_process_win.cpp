#include <windows.h>

// shellapi.h needs windows.h before it.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "voka-auth/auth_process.h"

namespace {

constexpr UINT kExitCrashed = 3;  // as abort() ends a process

// Ends the process at once: the system's own handler would hand the crash to
// Windows Error Reporting, which may write a dump with the secrets in it.
LONG WINAPI EndWithoutDump(EXCEPTION_POINTERS*) {
  TerminateProcess(GetCurrentProcess(), kExitCrashed);
  return EXCEPTION_CONTINUE_SEARCH;
}

std::string Utf8Of(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return "";
  std::string text(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], size, nullptr, nullptr);
  text.resize(static_cast<size_t>(size) - 1);
  return text;
}

bool IsConsole(DWORD standardHandle) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(standardHandle), &mode) != FALSE;
}

}  // namespace

bool KeepSecretsOutOfCoreDumps() {
  SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(EndWithoutDump);
  return true;
}

bool StandardErrorIsTerminal() { return IsConsole(STD_ERROR_HANDLE); }

// argv holds the words in the ANSI code page, which loses what it cannot
// hold; the wide command line has them all.
std::vector<std::string> CommandLineWords(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> words;
  if (wide == nullptr) return words;
  for (int i = 1; i < count; ++i) words.push_back(Utf8Of(wide[i]));
  LocalFree(wide);
  return words;
}

void PrepareTextOutput() {
  // Binary mode: "\n" stays one byte, so that the output is the same bytes
  // as on Linux, and a UTF-8 sequence is never split by a translation.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (IsConsole(STD_OUTPUT_HANDLE) || IsConsole(STD_ERROR_HANDLE)) SetConsoleOutputCP(CP_UTF8);
}
