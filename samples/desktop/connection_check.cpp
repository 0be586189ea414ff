#include "connection_check.h"

#include <vector>

#include "login_window_ids.h"
#include "window_text.h"

namespace {

constexpr wchar_t kCheckProgram[] = L"voka-auth.exe";

// ARGUMENT as the C runtime's command-line parser reads it back.
std::wstring Quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
    } else {
      if (c == L'"') quoted.append(backslashes + 1, L'\\');
      backslashes = 0;
    }
    quoted += c;
  }
  quoted.append(backslashes, L'\\');
  return quoted + L'"';
}

// voka-auth writes UTF-8; a line that is not UTF-8 is read in the ANSI code
// page rather than dropped.
std::wstring Decoded(const std::string& bytes) {
  for (UINT codePage : {CP_UTF8, CP_ACP}) {
    const DWORD flags = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
    if (length <= 0) continue;
    std::wstring text(length, L'\0');
    MultiByteToWideChar(codePage, flags, bytes.data(), size, &text[0], length);
    return text;
  }
  return std::wstring();
}

}  // namespace

ConnectionCheck::~ConnectionCheck() {
  if (HANDLE process = m_process.load()) CloseHandle(process);
}

bool ConnectionCheck::Run(const LoginSettings& settings, const std::function<void(const std::wstring&)>& onLine,
                          std::wstring& lastLine, DWORD& exitCode, std::wstring& errorText) {
  const std::wstring path = ProgramPath(), program = path.substr(0, path.find_last_of(L"\\/") + 1) + kCheckProgram;
  std::wstring command =
      Quoted(program) + L" --udp " + Quoted(settings.udpServer) + L" --http " + Quoted(settings.httpBase) + L" check";
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE reader = nullptr, writer = nullptr;
  if (!CreatePipe(&reader, &writer, &inheritable, 0)) {
    errorText = FormatText(IDS_CHECK_NOT_STARTED, {program, std::to_wstring(GetLastError())});
    return false;
  }
  SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
  // The program inherits the pipe alone, not the sockets of a login still
  // running on an abandoned worker.
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> attributes(size);
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdOutput = startup.StartupInfo.hStdError = writer;
  startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
  PROCESS_INFORMATION started = {};
  const bool listed = InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size);
  const bool created =
      listed &&
      UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &writer, sizeof writer,
                                nullptr, nullptr) &&
      CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE,
                     CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo, &started);
  const DWORD error = GetLastError();
  if (listed) DeleteProcThreadAttributeList(startup.lpAttributeList);
  // The pipe ends when the program's copy of this end closes.
  CloseHandle(writer);
  if (!created) {
    CloseHandle(reader);
    errorText = FormatText(IDS_CHECK_NOT_STARTED, {program, std::to_wstring(error)});
    return false;
  }
  CloseHandle(started.hThread);
  m_process.store(started.hProcess);
  if (m_stopped.load()) TerminateProcess(started.hProcess, 1);  // Stop came before the handle
  std::string pending;
  const auto hand = [&](std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::wstring text = Decoded(line);
    if (!text.empty()) lastLine = text;
    onLine(text);
  };
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(reader, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    pending.append(buffer, got);
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
      hand(pending.substr(0, end));
    }
  }
  if (!pending.empty()) hand(pending);
  CloseHandle(reader);
  WaitForSingleObject(started.hProcess, INFINITE);
  GetExitCodeProcess(started.hProcess, &exitCode);
  return true;
}

void ConnectionCheck::Stop() {
  m_stopped.store(true);
  if (HANDLE process = m_process.load()) TerminateProcess(process, 1);
}
