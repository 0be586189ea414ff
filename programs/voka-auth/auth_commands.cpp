#include "voka-auth/auth_commands.h"

#include <algorithm>
#include <chrono>
#include <istream>
#include <string>
#include <vector>

#include "voka-auth/auth_process.h"
#include "voka-auth/bench_command.h"
#include "voka-auth/connection_check.h"
#include "voka-auth/exchange_trace_printer.h"
#include "voka-auth/result_output.h"
#include "voka-auth/wait_notice.h"
#include "voka/client_authen.h"
#include "voka/codec/ansi_codepage.h"
#include "voka/codec/ascii_case.h"
#include "voka/codec/seal_param.h"
#include "voka/engine/request_text.h"
#include "voka/limits.h"
#include "voka/login_flow.h"
#include "voka/protocol/request_kinds.h"

namespace {

const char* const kPassPhrase = kSealPassPhrase;

// Options that name files: the file system takes their bytes as given.
const char* const kFileOptions[] = {"accounts", "csv"};

enum class InputLine { kRead, kMissing, kTooLong, kHasNul };

// One line of in without its '\n', as std::getline reads it, but never more
// than kLongestInputLine bytes. A NUL would end the secret early on its way
// to the engine, which would then send only the text before it.
InputLine ReadInputLine(std::istream& in, std::string& line) {
  line.clear();
  for (auto byte = in.get(); byte != std::istream::traits_type::eof(); byte = in.get()) {
    if (byte == '\n') return InputLine::kRead;
    if (byte == '\0') return InputLine::kHasNul;
    if (line.size() == kLongestInputLine) return InputLine::kTooLong;
    line += static_cast<char>(byte);
  }
  return line.empty() ? InputLine::kMissing : InputLine::kRead;
}

// A command's texts in the engine's code page: its options, and the argument
// of get (seal and unseal take their bytes as they are).
AuthCommand InAnsiCodePage(const AuthCommand& command, std::string& failedOption) {
  AuthCommand converted = command;
  for (auto& [name, value] : converted.options) {
    if (std::find(std::begin(kFileOptions), std::end(kFileOptions), name) != std::end(kFileOptions)) continue;
    if (!Utf8ToAnsiExactText(command.options.at(name), value)) {
      failedOption = "--" + name;
      return converted;
    }
  }
  if (command.name == "get" && !Utf8ToAnsiExactText(command.argument, converted.argument)) {
    failedOption = "get NAME";
  }
  return converted;
}

class CommandRunner {
 public:
  CommandRunner(const AuthOptions& options, std::istream& in, std::ostream& out, std::ostream& err, bool noticeWaits)
      : m_options(options),
        m_in(in),
        m_out(out),
        m_err(err),
        m_errIsTerminal(noticeWaits),
        m_trace(err, options.showSecrets),
        m_notice(err, noticeWaits, options.verbose ? &m_trace : nullptr, options.timeoutSeconds, options.httpServer) {}

  int Run() {
    SetAnsiCodePage(m_options.codePage);
    if (!m_options.caBundle.empty() && !m_engine.SetCaBundle(m_options.caBundle)) {
      m_err << "voka-auth: --cacert: https here trusts the system's certificate store alone; add the CA there\n";
      return kExitUsage;
    }
    // Every text is read and converted before anything is sent: a text the
    // code page cannot hold would reach the server changed.
    std::vector<AuthCommand> commands;
    for (AuthCommand command : m_options.commands) {
      if (!ReadSecretsFromInput(command)) return kExitUsage;
      std::string failedOption;
      commands.push_back(InAnsiCodePage(command, failedOption));
      if (!failedOption.empty()) {
        m_err << "voka-auth: " << failedOption << ": the text holds a character that code page " << m_options.codePage
              << " cannot represent\n";
        return kExitUsage;
      }
    }
    // Initialize looks the UDP name up: the check reports how long that took.
    const auto initializing = std::chrono::steady_clock::now();
    m_engine.Initialize(m_options.udpServer.c_str(), m_options.httpServer.c_str());
    m_resolveTime =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - initializing);
    m_engine.SetUdpTimeOut(m_options.timeoutSeconds);
    m_engine.SetTrace(&m_notice);
    for (const AuthCommand& command : commands) {
      int status = RunCommand(command);
      if (status != kExitSuccess) return status;
    }
    return kExitSuccess;
  }

 private:
  bool ReadSecretsFromInput(AuthCommand& command) {
    // A secret option's value "-" is read from standard input, so that no
    // other local user sees it on the command line.
    for (const std::string& name : SecretOptionNames()) {
      auto found = command.options.find(name);
      if (found == command.options.end() || found->second != "-") continue;
      std::string line;
      const InputLine read = ReadInputLine(m_in, line);
      if (read == InputLine::kMissing) {
        m_err << "voka-auth: --" << name << " -: no line on standard input\n";
        return false;
      }
      if (read == InputLine::kHasNul) {
        m_err << "voka-auth: --" << name << " -: the line on standard input holds a NUL byte\n";
        return false;
      }
      if (read == InputLine::kTooLong) {
        m_err << "voka-auth: --" << name << " -: the line on standard input is longer than " << kLongestInputLine
              << " bytes\n";
        return false;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      found->second = line;
    }
    return true;
  }

  int RunCommand(const AuthCommand& command) {
    const std::string& name = command.name;
    if (name == "seal") return Seal(command.argument);
    if (name == "unseal") return Unseal(command.argument);
    if (name == "get") return Get(command.argument);
    if (name == "login") return Login(command);
    if (name == "bench") return RunBench(m_options, command, m_out, m_err, m_errIsTerminal);
    if (name == "check") return RunConnectionCheck(m_engine, m_resolveTime, m_notice, m_options, m_out);
    const RequestKindRow* request = FindRequestByName(name);
    if (request == nullptr) {
      m_err << "voka-auth: no such command: " << name << "\n";
      return kExitUsage;
    }
    return Report(name, CallEngine(request->kind, command));
  }

  int CallEngine(RequestKind kind, const AuthCommand& command) {
    const std::vector<std::pair<const char*, std::string>> fields = CommandFields(RowOf(kind), command);
    RequestValues given;
    for (const auto& field : fields) given.push_back({field.first, field.second.c_str()});
    return m_engine.Request(kind, given);
  }

  // The library's login, each request printed as it ends. Succeeds only
  // when the answers leave AUTHENSTATE 1, logged in, as a front end decides.
  int Login(const AuthCommand& command) {
    LoginCredentials credentials;
    credentials.userId = command.Option("user");
    credentials.password = command.Option("password");
    credentials.appId = command.Option("app");
    credentials.areaId = command.Option("area");
    credentials.checkCode = command.Option("check-code");
    credentials.indication = command.Option("indication");
    credentials.ekeyType = command.Option("ekey-type");
    const std::string cardAnswer = command.Option("ecard-answer");
    if (!cardAnswer.empty()) {
      credentials.answerCard = [&cardAnswer](const std::string&, std::string& answer) {
        answer = cardAnswer;
        return true;
      };
    }
    LoginReport report(*this);
    const LoginResult login = RunLogin(m_engine, credentials, &report);
    if (login.end == LoginEnd::kRequestFailed) return report.status;
    if (login.end == LoginEnd::kNoState) {
      m_err << "voka-auth: login: not logged in: the answer has no AUTHENSTATE\n";
      return kExitCommandFailed;
    }
    if (login.end != LoginEnd::kLoggedIn) {
      const std::string state = m_engine.FindValue(kFieldAuthenState);
      m_err << "voka-auth: login: not logged in: AUTHENSTATE is " << PrintableAnsi(state.data(), state.size())
            << ", not " << kStateLoggedIn << "\n";
      return kExitCommandFailed;
    }
    return kExitSuccess;
  }

  // Prints each request of a login as the single commands print theirs.
  class LoginReport : public LoginObserver {
   public:
    explicit LoginReport(CommandRunner& runner) : m_runner(runner) {}
    void OnRequestEnd(RequestKind kind, int result) override { status = m_runner.Report(RowOf(kind).name, result); }
    int status = kExitSuccess;

   private:
    CommandRunner& m_runner;
  };

  int Get(const std::string& name) {
    const std::string key = UpperCaseAscii(name);
    std::string value;
    int result = m_engine.GetValue(key.c_str(), value);
    OutputFields fields;
    if (result == 0) fields.emplace_back(AnsiToUtf8Text(key), AnsiToUtf8Text(value));
    Print("get", result, fields);
    return result == 0 ? kExitSuccess : kExitCommandFailed;
  }

  int Seal(const std::string& text) {
    if (text.size() > kLongestDatagramText) {
      m_err << "voka-auth: seal: text of " << text.size() << " bytes is too long (at most " << kLongestDatagramText
            << " bytes fit a request)\n";
      return kExitUsage;
    }
    char sealed[2048] = {};
    SealParam(reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()), kPassPhrase, sealed);
    PrintText("seal", sealed);
    return kExitSuccess;
  }

  int Unseal(const std::string& base64) {
    std::string text;
    if (!OpenSealedParam(base64.data(), base64.size(), kPassPhrase, text)) {
      m_err << "voka-auth: unseal: '" << base64 << "' is not Base64 text\n";
      return kExitUsage;
    }
    PrintText("unseal", text);
    return kExitSuccess;
  }

  // Prints what an engine call returned.
  int Report(const std::string& command, int result) {
    m_notice.Stop();
    OutputFields fields;
    for (const auto& entry : m_engine.Results()) {
      fields.emplace_back(AnsiToUtf8Text(entry.first), AnsiToUtf8Text(entry.second));
    }
    Print(command, result, fields);
    const std::string causes = result == 0 ? "" : CausesText(m_engine);
    if (!causes.empty()) m_err << "voka-auth: " << command << ": cause: " << causes << "\n";
    return result == 0 ? kExitSuccess : kExitCommandFailed;
  }

  void Print(const std::string& command, int result, const OutputFields& fields) {
    if (m_options.json) {
      m_out << FormatJsonResult(command, result, fields) << "\n";
    } else {
      m_out << FormatHumanResult(command, result, fields);
    }
    m_out.flush();
  }

  // seal and unseal print their text's bytes unchanged, so that they pipe into each other.
  void PrintText(const std::string& command, const std::string& text) {
    if (m_options.json) {
      m_out << FormatJsonText(command, text) << "\n";
    } else {
      m_out << text << "\n";
    }
    m_out.flush();
  }

  const AuthOptions& m_options;
  std::istream& m_in;
  std::ostream& m_out;
  std::ostream& m_err;
  const bool m_errIsTerminal;
  CExchangeTracePrinter m_trace;
  CWaitNotice m_notice;
  CClientAuthen m_engine;
  std::chrono::milliseconds m_resolveTime{0};
};

}  // namespace

int RunAuthCommands(const AuthOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
                    bool noticeWaits) {
  return CommandRunner(options, in, out, err, noticeWaits).Run();
}
