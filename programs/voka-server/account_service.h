// What voka-server decides: dynamic keys, account logins, and the second
// factors (USB token challenge, matrix card position). Transport-free: fields
// arrive and leave in UTF-8.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <random>
#include <string>

#include "programs/voka-server/account_file.h"
#include "programs/voka-server/answer_builder.h"
#include "programs/voka-server/request_opener.h"
#include "transport/request_kinds.h"

// RETVALUE and DESCMSG of a failure.
AnswerFields FailureAnswer(int retValue);

class CAccountService {
 public:
  using Clock = std::chrono::steady_clock;

  explicit CAccountService(AccountBook accounts);

  AnswerFields Answer(RequestKind kind, const RequestFields& fields);

 private:
  struct PendingFactor {
    std::string challenge;  // e-key account: the token's challenge
    std::string position;   // matrix card account: the cell asked for
    Clock::time_point issued;
  };

  AnswerFields DynamicKey();
  AnswerFields StaticLogin(const RequestFields& fields);
  AnswerFields EKeyLogin(const RequestFields& fields);
  AnswerFields ECardLogin(const RequestFields& fields);

  // The first check a login fails, or kRetSuccess with the account found.
  int CheckLogin(const RequestFields& fields, const char* secretField, const Account*& account);
  bool TakePending(const std::string& userId, PendingFactor& pending);
  bool KnownGuid(const std::string& guid);
  std::string NewGuid();
  std::string NewChallenge();

  AccountBook m_accounts;
  std::map<std::string, Clock::time_point> m_guids;
  std::deque<std::string> m_guidOrder;  // oldest first, to bound m_guids
  std::map<std::string, PendingFactor> m_pending;  // by user id
  std::mt19937_64 m_random;
};
