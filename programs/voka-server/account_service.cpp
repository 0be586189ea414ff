#include "voka-server/account_service.h"

#include <algorithm>
#include <cstdio>

#include "voka-server/server_limits.h"
#include "voka-server/system_random.h"
#include "voka/protocol/answer_codes.h"
#include "voka/protocol/field_names.h"
#include "voka/second_factor/ocra_response.h"

// The refusals name their waits (protocol/answer_codes.cpp): a wait changed
// here changes their text.
static_assert(kFactorLockTime == std::chrono::minutes(5), "FACTOR_LOCKED's message says 5 minutes");
static_assert(kPasswordWait == std::chrono::minutes(1), "PASSWORDS_WAIT's message says 1 minute");

namespace {

std::string Field(const RequestFields& fields, const char* name) {
  auto found = fields.find(name);
  return found == fields.end() ? std::string() : found->second;
}

// As long whatever the first difference, so that the time of an answer tells
// nothing of how much of a guess was right; it depends on the guess's length only.
bool SameSecret(const std::string& given, const std::string& expected) {
  unsigned difference = given.size() != expected.size();
  for (size_t i = 0; i < given.size(); ++i) {
    const char wanted = expected.empty() ? '\0' : expected[i % expected.size()];
    difference |= static_cast<unsigned char>(given[i] ^ wanted);
  }
  return difference == 0;
}

AnswerFields SuccessAnswer(const std::string& message) {
  return {{kFieldRetValue, std::to_string(kRetSuccess)}, {kFieldDescMsg, message}};
}

}  // namespace

AnswerFields FailureAnswer(int retValue) {
  return {{kFieldRetValue, std::to_string(retValue)}, {kFieldDescMsg, ServerMessage(retValue)}};
}

CAccountService::CAccountService(AccountBook accounts, ClockReader now)
    : m_accounts(std::move(accounts)), m_now(std::move(now)), m_passwordGuards(kMaxPasswordGuards) {}

AnswerFields CAccountService::Answer(RequestKind kind, const RequestFields& fields, const std::string& sourceAddress) {
  switch (kind) {
    case RequestKind::kDynamicKey: return DynamicKey(sourceAddress);
    case RequestKind::kStaticLogin: return StaticLogin(fields, sourceAddress);
    case RequestKind::kEKeyLogin: return EKeyLogin(fields);
    case RequestKind::kECardLogin: return ECardLogin(fields);
  }
  return FailureAnswer(kRetUnknownRequest);
}

AnswerFields CAccountService::DynamicKey(const std::string& sourceAddress) {
  std::string guid = NewGuid();
  if (!m_guids.Add(guid, sourceAddress, m_now())) return FailureAnswer(kRetBusy);
  AnswerFields answer = SuccessAnswer(kMessageDynamicKeyIssued);
  answer.emplace_back(kFieldGuid, guid);
  return answer;
}

AnswerFields CAccountService::StaticLogin(const RequestFields& fields, const std::string& sourceAddress) {
  const Account* account = nullptr;
  const int check = CheckLogin(fields, nullptr, account);
  if (check != kRetSuccess && check != kRetUnknownUser) return FailureAnswer(check);
  // A key is only ever sent to the address that asked for it: a login with
  // one issued elsewhere proves nothing of its source, which may be forged,
  // and counts against no address.
  if (m_guids.Source(Field(fields, kFieldGuid)) != sourceAddress) return FailureAnswer(kRetForeignDynamicKey);
  if (m_passwordGuards.Waits(sourceAddress, m_now())) return FailureAnswer(kRetPasswordsWait);
  // Trying user ids is guessing as much as trying passwords.
  if (check == kRetUnknownUser) return WrongPasswordAnswer(sourceAddress, kRetUnknownUser);
  if (!SameSecret(Field(fields, kFieldPassword), account->password))
    return WrongPasswordAnswer(sourceAddress, kRetWrongPassword);
  if (FactorLocked(account->userId)) return FailureAnswer(kRetFactorLocked);

  PendingFactor pending;
  pending.guid = Field(fields, kFieldGuid);
  pending.issued = m_now();
  if (!account->ekeySecret.empty()) {
    pending.challenge = NewChallenge();
    AddPending(account->userId, pending);
    AnswerFields answer = SuccessAnswer(kMessageEnterEKey);
    answer.emplace_back(kFieldAuthenState, kStateNeedsEKey);
    answer.emplace_back(kFieldChallenge, pending.challenge);
    return answer;
  }
  if (!account->card.Empty()) {
    pending.position =
        MatrixCard::Position(SystemRandomBelow(account->card.Columns()), SystemRandomBelow(account->card.rows.size()));
    AddPending(account->userId, pending);
    AnswerFields answer =
        SuccessAnswer(std::string(kMessageEnterECardPrefix) + pending.position + kMessageEnterECardSuffix);
    answer.emplace_back(kFieldAuthenState, kStateNeedsECard);
    answer.emplace_back(kFieldPosition, pending.position);
    return answer;
  }
  return LoggedInAnswer(account->userId, pending.guid);
}

AnswerFields CAccountService::EKeyLogin(const RequestFields& fields) {
  const Account* account = nullptr;
  int check = CheckLogin(fields, kFieldEKeyPassword, account);
  if (check != kRetSuccess) return FailureAnswer(check);
  if (account->ekeySecret.empty()) return FailureAnswer(kRetFactorNotBound);
  if (FactorLocked(account->userId)) return FailureAnswer(kRetFactorLocked);
  PendingFactor pending;
  if (!TakePending(account->userId, Field(fields, kFieldGuid), pending) || pending.challenge.empty())
    return FailureAnswer(kRetNoPendingFactor);
  std::string expected;
  if (OcraResponse(account->ekeySecret, pending.challenge, expected) != 0 ||
      !SameSecret(Field(fields, kFieldEKeyPassword), expected)) {
    return WrongFactorAnswer(account->userId, kRetWrongEKeyPassword);
  }
  return LoggedInAnswer(account->userId, pending.guid);
}

AnswerFields CAccountService::ECardLogin(const RequestFields& fields) {
  const Account* account = nullptr;
  int check = CheckLogin(fields, kFieldECardAnswer, account);
  if (check != kRetSuccess) return FailureAnswer(check);
  if (account->card.Empty()) return FailureAnswer(kRetFactorNotBound);
  if (FactorLocked(account->userId)) return FailureAnswer(kRetFactorLocked);
  PendingFactor pending;
  if (!TakePending(account->userId, Field(fields, kFieldGuid), pending) || pending.position.empty())
    return FailureAnswer(kRetNoPendingFactor);
  std::string expected;
  if (!account->card.Cell(pending.position, expected) || !SameSecret(Field(fields, kFieldECardAnswer), expected)) {
    return WrongFactorAnswer(account->userId, kRetWrongECardAnswer);
  }
  return LoggedInAnswer(account->userId, pending.guid);
}

int CAccountService::CheckLogin(const RequestFields& fields, const char* secretField, const Account*& account) {
  const std::string userId = Field(fields, kFieldUserId);
  if (userId.empty() || (secretField && Field(fields, secretField).empty())) return kRetMissingField;
  if (!m_guids.Valid(Field(fields, kFieldGuid), m_now())) return kRetBadDynamicKey;
  auto found = m_accounts.find(userId);
  if (found == m_accounts.end()) return kRetUnknownUser;
  account = &found->second;
  return kRetSuccess;
}

// One login asks for one factor at a time: its new account login replaces
// what it asked before. Other logins of the account keep theirs.
void CAccountService::AddPending(const std::string& userId, const PendingFactor& pending) {
  std::vector<PendingFactor>& account = m_pending[userId];
  const Clock::time_point now = m_now();
  account.erase(std::remove_if(account.begin(), account.end(),
                               [&](const PendingFactor& kept) {
                                 return kept.guid == pending.guid || now - kept.issued > kPendingLifetime;
                               }),
                account.end());
  if (account.size() >= kPendingFactorsPerAccount) account.erase(account.begin());
  account.push_back(pending);
}

// A factor is asked for once: any answer to it from the login that asked,
// right or wrong, uses it up. Anyone else's answer leaves it alone, so that a
// stranger who knows the user id can neither spend it nor count towards the lock.
bool CAccountService::TakePending(const std::string& userId, const std::string& guid, PendingFactor& pending) {
  auto account = m_pending.find(userId);
  if (account == m_pending.end()) return false;
  std::vector<PendingFactor>& factors = account->second;
  auto found =
      std::find_if(factors.begin(), factors.end(), [&](const PendingFactor& kept) { return kept.guid == guid; });
  if (found == factors.end()) return false;
  pending = *found;
  factors.erase(found);
  if (factors.empty()) m_pending.erase(account);
  return m_now() - pending.issued <= kPendingLifetime;
}

bool CAccountService::FactorLocked(const std::string& userId) {
  auto found = m_factorGuards.find(userId);
  return found != m_factorGuards.end() && m_now() < found->second.lockedUntil;
}

AnswerFields CAccountService::WrongFactorAnswer(const std::string& userId, int retValue) {
  FactorGuard& guard = m_factorGuards[userId];
  if (++guard.wrongAnswers >= kWrongFactorAnswersBeforeLock) {
    guard.wrongAnswers = 0;
    guard.lockedUntil = m_now() + kFactorLockTime;
  }
  return FailureAnswer(retValue);
}

AnswerFields CAccountService::WrongPasswordAnswer(const std::string& sourceAddress, int retValue) {
  m_passwordGuards.CountWrong(sourceAddress, m_now());
  return FailureAnswer(retValue);
}

AnswerFields CAccountService::LoggedInAnswer(const std::string& userId, const std::string& guid) {
  m_factorGuards.erase(userId);
  m_guids.LoggedIn(guid);
  AnswerFields answer = SuccessAnswer(ServerMessage(kRetSuccess));
  answer.emplace_back(kFieldAuthenState, kStateLoggedIn);
  return answer;
}

std::string CAccountService::NewGuid() {
  uint64_t high = SystemRandom64(), low = SystemRandom64();
  high = (high & ~0xF000ull) | 0x4000ull;                       // version 4
  low = (low & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;  // variant 1
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(high >> 32),
                static_cast<unsigned>(high >> 16 & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
  return text;
}

std::string CAccountService::NewChallenge() {
  char challenge[16];
  std::snprintf(challenge, sizeof challenge, "%08u", static_cast<unsigned>(SystemRandomBelow(100000000)));
  return challenge;
}
