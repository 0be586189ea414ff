#include "programs/voka-auth/bench_login.h"

#include <climits>
#include <functional>
#include <new>

#include "voka/client_authen.h"

namespace {

size_t SlotOf(RequestKind kind) {
  size_t slot = 0;
  while (kLoginRequests[slot] != kind) ++slot;
  return slot;
}

class CBenchLogin {
 public:
  CBenchLogin(const BenchTarget& target, const BenchAccount& account) : m_target(target), m_account(account) {
    m_engine.Initialize(target.udpServer.c_str(), target.httpServer.c_str());
    m_engine.SetUdpTimeOut(target.timeoutSeconds);
  }

  LoginRecord Run() {
    const char* user = m_account.user.c_str();
    if (Request(RequestKind::kDynamicKey, [&] { return m_engine.GetDynamicKey(""); }) &&
        Request(RequestKind::kStaticLogin,
                [&] {
                  return m_engine.StaticAuthen(user, m_account.password.c_str(), m_target.app.c_str(),
                                               m_target.area.c_str(), "", "");
                }) &&
        SecondFactor()) {
      m_record.outcome = m_engine.FindValue("AUTHENSTATE") == kStateLoggedIn ? LoginOutcome::kLoggedIn
                                                                             : LoginOutcome::kMalformedAnswer;
    }
    m_record.overUdp = m_engine.UsesUdp();
    return m_record;
  }

 private:
  // The e-key or card login the account login asked for; false when it failed.
  bool SecondFactor() {
    const std::string state = m_engine.FindValue("AUTHENSTATE");
    const char* user = m_account.user.c_str();
    if (state == kStateNeedsEKey) {
      const std::string password = m_engine.FindValue("EKEYPWD");
      return Request(RequestKind::kEKeyLogin,
                     [&] { return m_engine.EKeyAuthen(user, password.c_str(), m_target.ekeyType.c_str(), ""); });
    }
    if (state != kStateNeedsECard) return true;
    std::string cell;
    if (m_account.card.Empty()) {
      m_record.outcome = LoginOutcome::kNeedsCard;
      return false;
    }
    if (!m_account.card.Cell(m_engine.FindValue("POSITION"), cell)) {
      m_record.outcome = LoginOutcome::kMalformedAnswer;  // no such cell on the card
      return false;
    }
    return Request(RequestKind::kECardLogin, [&] { return m_engine.ECardAuthen(user, cell.c_str(), ""); });
  }

  // Makes one request and times it; false, with the cause, when it failed.
  bool Request(RequestKind kind, const std::function<int()>& call) {
    const auto start = std::chrono::steady_clock::now();
    const int result = call();
    const std::chrono::nanoseconds took = std::chrono::steady_clock::now() - start;
    const size_t slot = SlotOf(kind);
    m_record.made[slot] = true;
    m_record.requestTime[slot] = took;
    if (result == AUTHEN_S_OK) return true;
    m_record.cause = m_engine.LastCause();
    m_record.outcome = OutcomeOfFailure(m_record.cause);
    m_record.retValue = result;
    return false;
  }

  const BenchTarget& m_target;
  const BenchAccount& m_account;
  CClientAuthen m_engine;
  LoginRecord m_record;
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
