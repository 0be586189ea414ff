#include "voka/login_steps.h"

#include <cstring>

#include "voka/protocol/field_names.h"
#include "voka/protocol/request_kinds.h"

namespace {

constexpr LoginStep Send(RequestKind next) { return {false, LoginEnd::kRequestFailed, next}; }
constexpr LoginStep End(LoginEnd end) { return {true, end, RequestKind::kDynamicKey}; }

bool Is(const char* state, const char* value) { return std::strcmp(state, value) == 0; }

}  // namespace

RequestKind FirstLoginRequest() { return RequestKind::kDynamicKey; }

LoginStep NextLoginStep(RequestKind answered, int result, const char* authenState) {
  if (result != 0) return End(LoginEnd::kRequestFailed);
  switch (answered) {
    case RequestKind::kDynamicKey: return Send(RequestKind::kStaticLogin);
    case RequestKind::kStaticLogin:
      if (authenState != nullptr && Is(authenState, kStateNeedsEKey)) return Send(RequestKind::kEKeyLogin);
      if (authenState != nullptr && Is(authenState, kStateNeedsECard)) return Send(RequestKind::kECardLogin);
      break;
    case RequestKind::kEKeyLogin:
    case RequestKind::kECardLogin: break;
  }
  if (authenState == nullptr) return End(LoginEnd::kNoState);
  return End(Is(authenState, kStateLoggedIn) ? LoginEnd::kLoggedIn : LoginEnd::kOtherState);
}
