#include "voka/login_flow.h"

#include "protocol/field_names.h"
#include "protocol/request_kinds.h"

namespace {

class CLogin {
 public:
  CLogin(CClientAuthen& engine, const LoginCredentials& credentials, LoginObserver* observer)
      : m_engine(engine), m_credentials(credentials), m_observer(observer) {}

  LoginResult Run() {
    const LoginCredentials& c = m_credentials;
    if (!Request(RequestKind::kDynamicKey, [&] { return m_engine.GetDynamicKey(c.indication.c_str()); }) ||
        !Request(RequestKind::kStaticLogin, [&] {
          return m_engine.StaticAuthen(c.userId.c_str(), c.password.c_str(), c.appId.c_str(), c.areaId.c_str(),
                                       c.checkCode.c_str(), c.indication.c_str());
        })) {
      return m_result;
    }
    std::string state;
    if (m_engine.GetValue(kFieldAuthenState, state) == kValueFound && state == kStateNeedsEKey) {
      const std::string password = m_engine.FindValue(kFieldEKeyPassword);
      if (!Request(RequestKind::kEKeyLogin, [&] {
            return m_engine.EKeyAuthen(c.userId.c_str(), password.c_str(), c.ekeyType.c_str(), c.indication.c_str());
          })) {
        return m_result;
      }
    } else if (state == kStateNeedsECard) {
      std::string answer;
      if (!c.answerCard || !c.answerCard(m_engine.FindValue(kFieldPosition), answer)) {
        m_result.end = LoginEnd::kNoCard;
        return m_result;
      }
      if (!Request(RequestKind::kECardLogin,
                   [&] { return m_engine.ECardAuthen(c.userId.c_str(), answer.c_str(), c.indication.c_str()); })) {
        return m_result;
      }
    }
    // The last answer decides, as a front end reads it: an answer cut short
    // of its AUTHENSTATE is no login.
    if (m_engine.GetValue(kFieldAuthenState, state) != kValueFound) {
      m_result.end = LoginEnd::kNoState;
    } else {
      m_result.end = state == kStateLoggedIn ? LoginEnd::kLoggedIn : LoginEnd::kOtherState;
    }
    return m_result;
  }

 private:
  template <typename Call>
  bool Request(RequestKind kind, Call call) {
    if (m_observer != nullptr) m_observer->OnRequestStart(kind);
    m_result.code = call();
    if (m_observer != nullptr) m_observer->OnRequestEnd(kind, m_result.code);
    m_result.end = LoginEnd::kRequestFailed;
    return m_result.code == AUTHEN_S_OK;
  }

  CClientAuthen& m_engine;
  const LoginCredentials& m_credentials;
  LoginObserver* m_observer;
  LoginResult m_result;
};

}  // namespace

LoginResult RunLogin(CClientAuthen& engine, const LoginCredentials& credentials, LoginObserver* observer) {
  try {
    return CLogin(engine, credentials, observer).Run();
  } catch (...) {
    return {};  // out of memory: a failed request
  }
}
