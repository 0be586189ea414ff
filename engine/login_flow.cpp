#include "voka/login_flow.h"

#include "voka/engine/request_text.h"
#include "voka/login_steps.h"
#include "voka/protocol/field_names.h"

namespace {

class CLogin {
 public:
  CLogin(CClientAuthen& engine, const LoginCredentials& credentials, LoginObserver* observer)
      : m_engine(engine), m_credentials(credentials), m_observer(observer) {}

  LoginResult Run() {
    LoginResult result;
    for (RequestKind kind = FirstLoginRequest();;) {
      RequestValues given;
      std::string held;  // the token's password or the card's answer
      if (!GivenValues(kind, given, held)) {
        result.end = LoginEnd::kNoCard;
        return result;
      }
      if (m_observer != nullptr) m_observer->OnRequestStart(kind);
      result.code = m_engine.Request(kind, given);
      if (m_observer != nullptr) m_observer->OnRequestEnd(kind, result.code);
      std::string state;
      const bool hasState = m_engine.GetValue(kFieldAuthenState, state) == kValueFound;
      const LoginStep step = NextLoginStep(kind, result.code, hasState ? state.c_str() : nullptr);
      if (step.over) {
        result.end = step.end;
        return result;
      }
      kind = step.next;
    }
  }

 private:
  // The fields the credentials give a request of kind; false when the
  // account asks for its matrix card and no answer is given.
  bool GivenValues(RequestKind kind, RequestValues& given, std::string& held) const {
    const LoginCredentials& c = m_credentials;
    switch (kind) {
      case RequestKind::kDynamicKey: given = {{kFieldIndication, c.indication.c_str()}}; return true;
      case RequestKind::kStaticLogin:
        given = {{kFieldUserId, c.userId.c_str()},       {kFieldPassword, c.password.c_str()},
                 {kFieldAppId, c.appId.c_str()},         {kFieldAreaId, c.areaId.c_str()},
                 {kFieldCheckCode, c.checkCode.c_str()}, {kFieldIndication, c.indication.c_str()}};
        return true;
      case RequestKind::kEKeyLogin:
        held = m_engine.FindValue(kFieldEKeyPassword);
        given = {{kFieldUserId, c.userId.c_str()},
                 {kFieldEKeyPassword, held.c_str()},
                 {kFieldEKeyType, c.ekeyType.c_str()},
                 {kFieldIndication, c.indication.c_str()}};
        return true;
      case RequestKind::kECardLogin:
        if (!c.answerCard || !c.answerCard(m_engine.FindValue(kFieldPosition), held)) return false;
        given = {{kFieldUserId, c.userId.c_str()},
                 {kFieldECardAnswer, held.c_str()},
                 {kFieldIndication, c.indication.c_str()}};
        return true;
    }
    return false;
  }

  CClientAuthen& m_engine;
  const LoginCredentials& m_credentials;
  LoginObserver* m_observer;
};

}  // namespace

LoginResult RunLogin(CClientAuthen& engine, const LoginCredentials& credentials, LoginObserver* observer) {
  try {
    return CLogin(engine, credentials, observer).Run();
  } catch (...) {
    return {};  // out of memory: a failed request
  }
}
