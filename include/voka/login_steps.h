// The steps of a whole login, as every client that runs one takes them: the
// dynamic key, the account login, then the second factor the account login's
// answer asks for. A pure function of the last answer: the engine's login,
// bench's load client and the bindings (through the C interface) read it.
// Part of the library's public headers: <voka/login_steps.h>.
#pragma once

#include <cstdint>

enum class RequestKind : uint8_t;  // the request table's

// How a login ended.
enum class LoginEnd {
  kLoggedIn,       // AUTHENSTATE 1 after the last request
  kRequestFailed,  // a request's result was not 0
  kNoCard,         // the account asks for its matrix card, and no answer was given
  kNoState,        // the last answer has no AUTHENSTATE
  kOtherState,     // AUTHENSTATE is none that the login knows what to do with
};

struct LoginStep {
  bool over = false;
  LoginEnd end = LoginEnd::kRequestFailed;  // when over
  RequestKind next{};                       // when not over
};

// The login's first request: the dynamic key.
RequestKind FirstLoginRequest();

// What follows the answer to a request of kind answered: its result (0 or
// the failure) and AUTHENSTATE as the answers so far left it (null when none
// held it). Only the account login's answer may ask for a second factor;
// after a second factor only AUTHENSTATE 1 is logged in.
LoginStep NextLoginStep(RequestKind answered, int result, const char* authenState);
