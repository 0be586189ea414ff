#include "voka-server/password_guards.h"

#include "voka-server/server_limits.h"

CPasswordGuards::CPasswordGuards(size_t capacity) : m_capacity(capacity) {}

bool CPasswordGuards::Waits(const std::string& address, Clock::time_point now) const {
  auto found = m_guards.find(address);
  return found != m_guards.end() && now < found->second.waitUntil;
}

void CPasswordGuards::CountWrong(const std::string& address, Clock::time_point now) {
  auto found = m_guards.find(address);
  if (found == m_guards.end()) {
    if (m_guards.size() >= m_capacity) ForgetOne(now);
    found = m_guards.emplace(address, Guard()).first;
    found->second.place = m_counting.insert(m_counting.end(), address);
  }
  Guard& guard = found->second;
  if (guard.wrongPasswords == 0 || now - guard.windowStart > kWrongPasswordWindow) {
    guard.wrongPasswords = 0;
    guard.windowStart = now;
  }
  const bool waits = ++guard.wrongPasswords >= kWrongPasswordsBeforeWait;
  if (waits) {
    guard.wrongPasswords = 0;
    guard.waitUntil = now + kPasswordWait;
  }
  // Every wait lasts as long, so appending keeps m_waiting in the order the waits end.
  std::list<std::string>& from = guard.waiting ? m_waiting : m_counting;
  std::list<std::string>& to = waits ? m_waiting : m_counting;
  to.splice(to.end(), from, guard.place);
  guard.waiting = waits;
}

void CPasswordGuards::ForgetOne(Clock::time_point now) {
  const bool waitOver = !m_waiting.empty() && now >= m_guards.at(m_waiting.front()).waitUntil;
  Forget(waitOver || m_counting.empty() ? m_waiting : m_counting);
}

void CPasswordGuards::Forget(std::list<std::string>& list) {
  m_guards.erase(list.front());
  list.pop_front();
}
