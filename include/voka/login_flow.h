// One whole login as a front end makes it, on one engine: the dynamic key,
// the account login, then the second factor its answer asks for (the USB
// token's password that the engine computed, or the matrix card's answer).
// voka-auth login, bench's engine path and the C interface's
// voka_client_login run it: <voka/login_flow.h>.
#pragma once

#include <functional>
#include <string>

#include "voka/client_authen.h"
#include "voka/login_steps.h"

// What a login sends; texts in the engine's code page.
struct LoginCredentials {
  std::string userId;
  std::string password;
  std::string appId = kDefaultAppId;
  std::string areaId = kDefaultAreaId;
  std::string checkCode;
  std::string indication;
  std::string ekeyType;
  // The matrix card's answer for the cells the server names under POSITION;
  // false when there is no card or no such cell. Unset: no card.
  std::function<bool(const std::string& position, std::string& answer)> answerCard;
};

struct LoginResult {
  LoginEnd end = LoginEnd::kRequestFailed;
  int code = AUTHEN_E_FAIL;  // the last request's result
};

// Told of each request as it starts and ends (timing, printing).
class LoginObserver {
 public:
  virtual ~LoginObserver() = default;
  virtual void OnRequestStart(RequestKind /*kind*/) {}
  virtual void OnRequestEnd(RequestKind kind, int result) = 0;
};

LoginResult RunLogin(CClientAuthen& engine, const LoginCredentials& credentials, LoginObserver* observer = nullptr);
