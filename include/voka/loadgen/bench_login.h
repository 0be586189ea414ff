// One whole login of voka-auth bench on an engine of its own, the requests of
// `voka-auth login` in the same order, with what became of it and how long
// each request took.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "voka/client_authen.h"
#include "voka/failure_cause.h"
#include "voka/protocol/request_kinds.h"
#include "voka/second_factor/matrix_card.h"

enum class LoginOutcome {
  kLoggedIn,         // AUTHENSTATE 1 at the end
  kNeedsCard,        // the account asks for its matrix card, which bench was not given
  kNoAnswer,         // nothing came back in time (UDP), or the fetch failed (HTTP)
  kRefused,          // the server answered with a RETVALUE other than 0
  kMalformedAnswer,  // an answer the engine could not read, or one without a verdict
  kLocalError,       // nothing sent, or the USB token gave no password
};
constexpr size_t kLoginOutcomes = 6;

// "ok", "needs-card", "no-answer", "refused", "malformed-answer", "local-error".
const char* OutcomeName(LoginOutcome outcome);

// What a failed request makes of its login, from the cause of its last
// stage (voka/failure_cause.h) alone: the one rule by which every load path
// counts failures. VOKA_CAUSE_NONE: the server refused it.
LoginOutcome OutcomeOfFailure(int cause);

// The requests a login may make, in the order it makes them.
constexpr RequestKind kLoginRequests[] = {RequestKind::kDynamicKey, RequestKind::kStaticLogin, RequestKind::kEKeyLogin,
                                          RequestKind::kECardLogin};
constexpr size_t kLoginRequestKinds = sizeof kLoginRequests / sizeof kLoginRequests[0];
// The place of kind in kLoginRequests.
size_t SlotOf(RequestKind kind);

// Where and how to log in; texts in the engine's code page.
struct BenchTarget {
  std::string udpServer;
  std::string httpServer;
  int timeoutSeconds = kDefaultUdpTimeOutSeconds;
  std::string app;
  std::string area;
  std::string ekeyType;
  std::string caBundle;  // empty: the system's CAs
};

// Texts in the engine's code page; an empty card leaves a card account at
// kNeedsCard.
struct BenchAccount {
  std::string user;
  std::string password;
  MatrixCard card;
};

struct LoginRecord {
  LoginOutcome outcome = LoginOutcome::kLocalError;
  int retValue = 0;             // the server's verdict when kRefused
  int cause = VOKA_CAUSE_NONE;  // of the failed request; none for a verdict or a login the answers stopped
  bool overUdp = true;          // false: the dynamic key went over HTTP, and so did the rest
  bool made[kLoginRequestKinds] = {};
  std::chrono::nanoseconds requestTime[kLoginRequestKinds] = {};  // of each request made
};

LoginRecord RunBenchLogin(const BenchTarget& target, const BenchAccount& account);
