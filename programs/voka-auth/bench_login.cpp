#include "programs/voka-auth/bench_login.h"

#include <climits>
#include <functional>
#include <new>

#include "codec/decimal_integer.h"
#include "voka/client_authen.h"

namespace {

size_t SlotOf(RequestKind kind) {
  size_t slot = 0;
  while (kLoginRequests[slot] != kind) ++slot;
  return slot;
}

// Whether the request under way sent anything, and whether an answer the
// engine could read came back.
class CRequestWatch : public ExchangeTrace {
 public:
  void OnParameterText(const std::string&) override {}
  void OnDatagram(const UDP_HEADER&, const std::string&, const std::string&) override { sent = true; }
  void OnUrl(const std::string&) override { sent = true; }
  void OnAnswer(const char*, int) override { answered = true; }

  bool sent = false;
  bool answered = false;
};

class CBenchLogin {
 public:
  CBenchLogin(const BenchTarget& target, const BenchAccount& account) : m_target(target), m_account(account) {
    m_engine.Initialize(target.udpServer.c_str(), target.httpServer.c_str());
    m_engine.SetUdpTimeOut(target.timeoutSeconds);
    m_engine.SetTrace(&m_watch);
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
    m_watch = CRequestWatch();
    const auto start = std::chrono::steady_clock::now();
    const int result = call();
    const std::chrono::nanoseconds took = std::chrono::steady_clock::now() - start;
    const size_t slot = SlotOf(kind);
    m_record.made[slot] = true;
    m_record.requestTime[slot] = took;
    if (result == AUTHEN_S_OK) return true;
    m_record.outcome = WhyFailed(result, took);
    return false;
  }

  LoginOutcome WhyFailed(int result, std::chrono::nanoseconds took) {
    if (result == AUTHEN_E_EKEYPWD) return LoginOutcome::kLocalError;
    if (result != AUTHEN_E_FAIL) {
      m_record.retValue = result;
      return LoginOutcome::kRefused;
    }
    if (!m_watch.sent) return LoginOutcome::kLocalError;
    long verdict = 0;
    if (m_watch.answered) {
      // The server's own AUTHEN_E_FAIL, or an answer without a number for a verdict.
      if (!ParseInteger(m_engine.FindValue("RETVALUE"), INT_MIN, INT_MAX, verdict)) {
        return LoginOutcome::kMalformedAnswer;
      }
      m_record.retValue = static_cast<int>(verdict);
      return LoginOutcome::kRefused;
    }
    // No answer the engine could read: a datagram it refused (too long, too
    // short for a header) came back before the time-out ran out.
    const bool early = took < std::chrono::seconds(m_target.timeoutSeconds);
    return m_engine.UsesUdp() && early ? LoginOutcome::kMalformedAnswer : LoginOutcome::kNoAnswer;
  }

  const BenchTarget& m_target;
  const BenchAccount& m_account;
  CRequestWatch m_watch;
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

LoginRecord RunBenchLogin(const BenchTarget& target, const BenchAccount& account) {
  try {
    return CBenchLogin(target, account).Run();
  } catch (const std::bad_alloc&) {
    return LoginRecord();  // a local error: out of memory on a worker thread
  }
}
