#include "voka/loadgen/bench_login.h"

#include <new>

#include "voka/client_authen.h"
#include "voka/login_flow.h"

size_t SlotOf(RequestKind kind) {
  size_t slot = 0;
  while (kLoginRequests[slot] != kind) ++slot;
  return slot;
}

namespace {

// The library's login on an engine of its own, each request timed.
class CBenchLogin : public LoginObserver {
 public:
  CBenchLogin(const BenchTarget& target, const BenchAccount& account) : m_target(target), m_account(account) {
    m_engine.Initialize(target.udpServer.c_str(), target.httpServer.c_str());
    m_engine.SetUdpTimeOut(target.timeoutSeconds);
    m_engine.SetCaBundle(target.caBundle);
  }

  LoginRecord Run() {
    LoginCredentials credentials;
    credentials.userId = m_account.user;
    credentials.password = m_account.password;
    credentials.appId = m_target.app;
    credentials.areaId = m_target.area;
    credentials.ekeyType = m_target.ekeyType;
    if (!m_account.card.Empty()) {
      credentials.answerCard = [this](const std::string& position, std::string& answer) {
        return m_account.card.Cell(position, answer);
      };
    }
    const LoginResult login = RunLogin(m_engine, credentials, this);
    switch (login.end) {
      case LoginEnd::kLoggedIn: m_record.outcome = LoginOutcome::kLoggedIn; break;
      case LoginEnd::kRequestFailed:
        m_record.cause = m_engine.LastCause();
        m_record.outcome = OutcomeOfFailure(m_record.cause);
        m_record.retValue = login.code;
        break;
      // A card that lacks the cell asked for is the answer's fault.
      case LoginEnd::kNoCard:
        m_record.outcome = m_account.card.Empty() ? LoginOutcome::kNeedsCard : LoginOutcome::kMalformedAnswer;
        break;
      case LoginEnd::kNoState:
      case LoginEnd::kOtherState: m_record.outcome = LoginOutcome::kMalformedAnswer; break;
    }
    m_record.overUdp = m_engine.UsesUdp();
    return m_record;
  }

 private:
  void OnRequestStart(RequestKind) override { m_requestStart = std::chrono::steady_clock::now(); }

  void OnRequestEnd(RequestKind kind, int) override {
    const size_t slot = SlotOf(kind);
    m_record.made[slot] = true;
    m_record.requestTime[slot] = std::chrono::steady_clock::now() - m_requestStart;
  }

  const BenchTarget& m_target;
  const BenchAccount& m_account;
  CClientAuthen m_engine;
  LoginRecord m_record;
  std::chrono::steady_clock::time_point m_requestStart;
};

}  // namespace

const char* OutcomeName(LoginOutcome outcome) {
  switch (outcome) {
    case LoginOutcome::kLoggedIn: return "ok";
    case LoginOutcome::kNeedsCard: return "needs-card";
    case LoginOutcome::kNoAnswer: return "no-answer";
    case LoginOutcome::kRefused: return "refused";
    case LoginOutcome::kMalformedAnswer: return "malformed-answer";
    case LoginOutcome::kLocalError: return "local-error";
  }
  return "";
}

LoginOutcome OutcomeOfFailure(int cause) {
  switch (cause) {
    // The server's verdict, its own AUTHEN_E_FAIL included.
    case VOKA_CAUSE_NONE: return LoginOutcome::kRefused;
    case VOKA_CAUSE_ANSWER_TOO_LONG:
    case VOKA_CAUSE_ANSWER_CUT_SHORT:
    case VOKA_CAUSE_BAD_ANSWER_HEADER:
    case VOKA_CAUSE_EMPTY_ANSWER:
    case VOKA_CAUSE_NO_VERDICT:
    case VOKA_CAUSE_HTTP_STATUS:
    case VOKA_CAUSE_NO_CHALLENGE: return LoginOutcome::kMalformedAnswer;
    case VOKA_CAUSE_PORT_UNREACHABLE:
    case VOKA_CAUSE_HOST_UNREACHABLE:
    case VOKA_CAUSE_NO_CONNECTION:
    case VOKA_CAUSE_NO_ANSWER:
    case VOKA_CAUSE_RECEIVE_FAILED:
    case VOKA_CAUSE_CERTIFICATE_UNTRUSTED:
    case VOKA_CAUSE_CERTIFICATE_EXPIRED:
    case VOKA_CAUSE_CERTIFICATE_NOT_YET_VALID:
    case VOKA_CAUSE_CERTIFICATE_WRONG_HOST:
    case VOKA_CAUSE_CERTIFICATE_NOT_CHECKED:
    case VOKA_CAUSE_CERTIFICATE_REFUSED:
    case VOKA_CAUSE_REDIRECT_REFUSED:
    case VOKA_CAUSE_HTTP_FAILED: return LoginOutcome::kNoAnswer;
    default: return LoginOutcome::kLocalError;  // nothing sent, or the token gave no password
  }
}

LoginRecord RunBenchLogin(const BenchTarget& target, const BenchAccount& account) {
  try {
    return CBenchLogin(target, account).Run();
  } catch (const std::bad_alloc&) {
    return LoginRecord();  // a local error: out of memory on a worker thread
  }
}
