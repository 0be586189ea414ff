#include "voka-auth/connection_check.h"

#include <string>

#include "voka-auth/result_output.h"
#include "voka/codec/ansi_codepage.h"
#include "voka/codec/machine_identity.h"
#include "voka/codec/text_escape.h"
#include "voka/failure_cause.h"
#include "voka/protocol/field_names.h"
#include "voka/transport/http_get.h"
#include "voka/transport/socket_shim.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kIndication[] = "";  // what voka-auth dynamic-key sends without --indication

long long MillisecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// Hears the exchanges of one stage, notes when each step happened and hands
// every event on to the wait notice.
class StageObserver : public ExchangeTrace {
 public:
  explicit StageObserver(ExchangeTrace& next) : m_next(next) {}

  void OnParameterText(const std::string& text) override { m_next.OnParameterText(text); }
  void OnDatagram(const UDP_HEADER& sent, const std::string& host, const std::string& port) override {
    sentAt = Clock::now();
    m_next.OnDatagram(sent, host, port);
  }
  void OnUrl(const std::string& fetched) override {
    url = fetched;
    sentAt = Clock::now();
    m_next.OnUrl(fetched);
  }
  void OnAnswer(const char* data, int length) override {
    answered = true;
    endedAt = Clock::now();
    m_next.OnAnswer(data, length);
  }
  void OnExchangeFailed(int) override { endedAt = Clock::now(); }
  void OnHttpFacts(const HttpFacts& seen) override {
    facts = seen;
    endedAt = Clock::now();
  }

  long long Milliseconds() const { return MillisecondsBetween(sentAt, endedAt); }

  Clock::time_point sentAt = Clock::now();
  Clock::time_point endedAt = sentAt;
  bool answered = false;
  std::string url;
  HttpFacts facts;

 private:
  ExchangeTrace& m_next;
};

// What one stage's answer said, in UTF-8 as it came: the human lines escape
// it, the JSON report writes it as a JSON string.
struct Verdict {
  bool hasRetValue = false;
  std::string retValue;
  std::string descMsg;
};

std::string AnswerText(const Verdict& verdict) {
  if (!verdict.hasRetValue) return "no RETVALUE";
  return "RETVALUE=" + verdict.retValue + ", DESCMSG=" + verdict.descMsg;
}

Verdict ReadVerdict(const CClientAuthen& engine) {
  Verdict verdict;
  const auto& results = engine.Results();
  const auto retValue = results.find("RETVALUE");
  const auto descMsg = results.find("DESCMSG");
  verdict.hasRetValue = retValue != results.end();
  if (verdict.hasRetValue) verdict.retValue = AnsiToUtf8Text(retValue->second);
  if (verdict.hasRetValue && descMsg != results.end()) verdict.descMsg = AnsiToUtf8Text(descMsg->second);
  return verdict;
}

// Why an answer that came is of no use to a login; empty when it is.
std::string AnswerProblem(int result, const Verdict& verdict, const CClientAuthen& engine) {
  if (result == AUTHEN_S_OK) return engine.FindValue(kFieldGuid).empty() ? "the answer has no GUID" : "";
  if (result != AUTHEN_E_FAIL) return "the server refused the dynamic key: " + AnswerText(verdict);
  if (!verdict.hasRetValue) return "the answer has no RETVALUE";
  if (verdict.retValue == std::to_string(AUTHEN_E_FAIL)) return "the server answered RETVALUE " + verdict.retValue;
  return "RETVALUE " + verdict.retValue + " is not a number";
}

struct StageReport {
  int result = AUTHEN_E_FAIL;
  int cause = VOKA_CAUSE_NOT_TRIED;
  std::string problem;  // why a login cannot use this transport; empty when it can
  Verdict verdict;
  bool answered = false;
  long long milliseconds = 0;
};

// Why a datagram exchange failed, in words and by the cause's name.
std::string DatagramFailureText(int cause, const CClientAuthen& engine) {
  std::string text = FailureCauseText(cause);
  if (cause == VOKA_CAUSE_NO_ANSWER) text = "no answer within " + std::to_string(engine.UdpTimeOut()) + " s";
  if (cause == VOKA_CAUSE_NAME_NOT_RESOLVED) text = "not sent: " + engine.UdpHost() + " does not resolve";
  if (cause == VOKA_CAUSE_BAD_PORT) text = "not sent: port '" + engine.UdpPort() + "' is not 1 to 65535";
  return text + " [" + FailureCauseName(cause) + "]";
}

class ConnectionCheck {
 public:
  ConnectionCheck(CClientAuthen& engine, std::chrono::milliseconds resolveTime, CWaitNotice& notice,
                  const AuthOptions& options, std::ostream& out)
      : m_engine(engine), m_resolveTime(resolveTime), m_notice(notice), m_options(options), m_out(out) {}

  int Run() {
    CheckUdp();
    CheckHttp();
    CheckMachine();
    m_engine.SetTrace(&m_notice);
    return Conclude();
  }

 private:
  void CheckUdp() {
    in_addr address{};
    m_udpResolved = inet_pton(AF_INET, m_engine.UdpHost().c_str(), &address) == 1;
    const std::string given = m_options.udpServer.substr(0, m_options.udpServer.find(':'));
    Line("udp name", given + (m_udpResolved ? " -> " + m_engine.UdpHost() : " does not resolve") + " (" +
                         std::to_string(m_resolveTime.count()) + " ms)");
    StageObserver observer(m_notice);
    m_udp = RunStage(RequestTransport::kUdp, observer);
    if (!m_udp.answered) {
      m_udp.problem = DatagramFailureText(m_udp.cause, m_engine);
      Line("udp answer", "none: " + m_udp.problem);
      return;
    }
    Line("udp answer", std::to_string(m_udp.milliseconds) + " ms from " + m_engine.UdpHost() + ":" +
                           m_engine.UdpPort() + ", " + AnswerText(m_udp.verdict));
  }

  void CheckHttp() {
    StageObserver observer(m_notice);
    m_http = RunStage(RequestTransport::kHttp, observer);
    const HttpFacts& facts = observer.facts;
    m_httpFacts = facts;
    m_httpUrl = observer.url;
    std::string fetch = observer.url + " -> ";
    if (facts.status != 0) fetch += "status " + std::to_string(facts.status) + ", ";
    fetch += std::to_string(facts.redirects) + " redirects, " + std::to_string(m_http.milliseconds) + " ms";
    if (!facts.failure.empty()) fetch += ", failed: " + facts.failure;
    Line("http fetch", fetch);
    if (!facts.tlsVersion.empty()) Line("http tls", TlsText(facts));
    if (!facts.failure.empty()) {
      m_http.problem = std::string(FailureCauseText(m_http.cause)) + " [" + FailureCauseName(m_http.cause) + "]";
      Line("http answer", std::string("none [") + FailureCauseName(m_http.cause) + "]");
      return;
    }
    Line("http answer", AnswerText(m_http.verdict));
  }

  static std::string TlsText(const HttpFacts& facts) {
    std::string text = facts.tlsVersion + ", subject " + facts.certificateSubject + ", issuer " +
                       facts.certificateIssuer + ", expires " + facts.certificateExpiry + ", ";
    return text + (facts.certificateVerified ? "verified" : "not verified: " + facts.certificateProblem);
  }

  StageReport RunStage(RequestTransport transport, StageObserver& observer) {
    StageReport report;
    m_engine.SetTrace(&observer);
    report.result = m_engine.ProbeDynamicKey(transport, kIndication);
    m_notice.Stop();
    report.answered = observer.answered;
    report.milliseconds = observer.Milliseconds();
    report.cause = transport == RequestTransport::kUdp ? m_engine.LastCauses().udp : m_engine.LastCauses().http;
    report.verdict = ReadVerdict(m_engine);
    if (report.answered) report.problem = AnswerProblem(report.result, report.verdict, m_engine);
    if (!report.problem.empty() && report.cause != VOKA_CAUSE_NONE) {
      report.problem += std::string(" [") + FailureCauseName(report.cause) + "]";
    }
    return report;
  }

  void CheckMachine() {
    const MachineIdentity identity = ReadMachineIdentity();
    m_mac = identity.mac;
    m_clientIp = identity.clientIp;
    Line("machine", "MAC " + (m_mac.empty() ? std::string("none") : m_mac) + ", IP " +
                        (m_clientIp.empty() ? std::string("none") : m_clientIp));
  }

  // The dynamic key tries UDP first and keeps it unless its stage failed
  // with AUTHEN_E_FAIL (CClientAuthen::GetDynamicKey); then HTTP decides.
  // A stage helps a login only with a GUID the login can send.
  int Conclude() {
    std::string verdict = "none";
    std::string reason;
    const bool fallsBack = m_udp.result == AUTHEN_E_FAIL;
    if (m_udp.problem.empty()) {
      verdict = "udp";
      reason = "a login would use UDP to " + m_engine.UdpHost() + ":" + m_engine.UdpPort();
    } else if (fallsBack && m_http.problem.empty()) {
      verdict = "http";
      reason = "a login would use HTTP to " + m_engine.TcpServer() + " (UDP: " + m_udp.problem + ")";
    } else if (!fallsBack) {
      reason = "no login can reach a server (UDP: " + m_udp.problem + "; a login does not fall back to HTTP then)";
    } else {
      reason = "no login can reach a server (UDP: " + m_udp.problem + "; HTTP: " + m_http.problem + ")";
    }
    const bool fallbackBroken = verdict == "udp" && !m_http.problem.empty();
    if (fallbackBroken) {
      Line("warning", "a login fails whenever UDP does: the HTTP fallback does not work (" + m_http.problem + ")");
    }
    if (m_options.json) {
      m_out << JsonReport(verdict, reason, fallbackBroken) << "\n";
    } else {
      Line("verdict", verdict + ": " + reason);
    }
    m_out.flush();
    if (verdict == "none") return kExitCommandFailed;
    return fallbackBroken ? kExitFallbackBroken : kExitSuccess;
  }

  // Human lines come as each step ends: a person, or a window, reads them
  // while the next step waits. Whatever a peer or the system reported (an
  // answer, a certificate's names, an error text) must not move the cursor
  // or forge a line.
  void Line(const std::string& step, const std::string& text) {
    if (m_options.json) return;
    m_out << step << ": " << EscapeControlBytes(text) << "\n";
    m_out.flush();
  }

  static JsonObject JsonStage(const StageReport& stage) {
    JsonObject json = {{"result", stage.result}, {"answered", stage.answered}, {"elapsed_ms", stage.milliseconds}};
    // The answer's own field names, as for the other commands.
    if (stage.verdict.hasRetValue) {
      json["fields"] = {{kFieldRetValue, stage.verdict.retValue}, {kFieldDescMsg, stage.verdict.descMsg}};
    }
    json["cause"] = FailureCauseName(stage.cause);
    json["problem"] = stage.problem;
    return json;
  }

  JsonObject JsonTls() const {
    const HttpFacts& facts = m_httpFacts;
    if (facts.tlsVersion.empty()) return nullptr;
    return {{"version", facts.tlsVersion},           {"subject", facts.certificateSubject},
            {"issuer", facts.certificateIssuer},     {"expires", facts.certificateExpiry},
            {"verified", facts.certificateVerified}, {"problem", facts.certificateProblem}};
  }

  std::string JsonReport(const std::string& verdict, const std::string& reason, bool fallbackBroken) const {
    JsonObject udp = {{"server", m_options.udpServer},
                      {"address", m_udpResolved ? m_engine.UdpHost() : ""},
                      {"resolve_ms", m_resolveTime.count()}};
    udp.update(JsonStage(m_udp));
    JsonObject http = {
        {"url", m_httpUrl}, {"status", m_httpFacts.status}, {"redirects", m_httpFacts.redirects}, {"tls", JsonTls()}};
    http.update(JsonStage(m_http));
    return FormatJsonObject({{"command", "check"},
                             {"udp", udp},
                             {"http", http},
                             {"machine", {{"mac", m_mac}, {"client_ip", m_clientIp}}},
                             {"verdict", verdict},
                             {"fallback_broken", fallbackBroken},
                             {"reason", reason}});
  }

  CClientAuthen& m_engine;
  const std::chrono::milliseconds m_resolveTime;
  CWaitNotice& m_notice;
  const AuthOptions& m_options;
  std::ostream& m_out;
  bool m_udpResolved = false;
  StageReport m_udp;
  StageReport m_http;
  HttpFacts m_httpFacts;
  std::string m_httpUrl;
  std::string m_mac;
  std::string m_clientIp;
};

}  // namespace

int RunConnectionCheck(CClientAuthen& engine, std::chrono::milliseconds resolveTime, CWaitNotice& notice,
                       const AuthOptions& options, std::ostream& out) {
  return ConnectionCheck(engine, resolveTime, notice, options, out).Run();
}
