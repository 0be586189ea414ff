// What voka-server decides: dynamic keys, account logins, and the second
// factors (USB token challenge, matrix card position). Transport-free: fields
// arrive and leave in UTF-8.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "voka-server/account_file.h"
#include "voka-server/answer_builder.h"
#include "voka-server/guid_store.h"
#include "voka-server/password_guards.h"
#include "voka-server/request_opener.h"
#include "voka/protocol/request_kinds.h"

// RETVALUE and DESCMSG of a failure.
AnswerFields FailureAnswer(int retValue);

class CAccountService {
 public:
  using Clock = std::chrono::steady_clock;
  using ClockReader = std::function<Clock::time_point()>;

  // Every lifetime and lock is measured on the clock that now reads.
  explicit CAccountService(AccountBook accounts, ClockReader now = Clock::now);

  // sourceAddress: the client's IP address, which dynamic keys are issued to
  // and wrong passwords counted by.
  AnswerFields Answer(RequestKind kind, const RequestFields& fields, const std::string& sourceAddress = "");

 private:
  struct PendingFactor {
    std::string challenge;  // e-key account: the token's challenge
    std::string position;   // matrix card account: the cell asked for
    std::string guid;       // the dynamic key of the account login that asked
    Clock::time_point issued;
  };

  // Wrong second-factor answers in a row, and the lock they lead to.
  struct FactorGuard {
    int wrongAnswers = 0;
    Clock::time_point lockedUntil;
  };

  AnswerFields DynamicKey(const std::string& sourceAddress);
  AnswerFields StaticLogin(const RequestFields& fields, const std::string& sourceAddress);
  AnswerFields EKeyLogin(const RequestFields& fields);
  AnswerFields ECardLogin(const RequestFields& fields);

  // The first check a login fails, or kRetSuccess with the account found.
  int CheckLogin(const RequestFields& fields, const char* secretField, const Account*& account);
  // Keeps a login's pending factor beside the account's others, at most
  // kPendingFactorsPerAccount of them, the oldest giving way.
  void AddPending(const std::string& userId, const PendingFactor& pending);
  // false, and nothing changes, when the answer's GUID is not the asking login's.
  bool TakePending(const std::string& userId, const std::string& guid, PendingFactor& pending);
  bool FactorLocked(const std::string& userId);
  // The answer to a wrong second factor, which counts towards the lock.
  AnswerFields WrongFactorAnswer(const std::string& userId, int retValue);
  // The answer to a wrong password or user id, which counts towards the address's wait.
  AnswerFields WrongPasswordAnswer(const std::string& sourceAddress, int retValue);
  // The answer of a login that is complete.
  AnswerFields LoggedInAnswer(const std::string& userId, const std::string& guid);
  std::string NewGuid();
  std::string NewChallenge();

  AccountBook m_accounts;
  ClockReader m_now;
  CGuidStore m_guids;
  std::map<std::string, std::vector<PendingFactor>> m_pending;  // by user id, oldest first
  std::map<std::string, FactorGuard> m_factorGuards;            // by user id
  CPasswordGuards m_passwordGuards;
};
