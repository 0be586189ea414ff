// Wrong passwords counted by source address, and the wait they lead to
// (kWrongPasswordsBeforeWait, kWrongPasswordWindow and kPasswordWait in
// server_limits.h). The table is bounded and never stops counting: a
// newcomer to a full table takes the place of the entry least worth keeping,
// in constant time: an address whose wait is over, else the one that failed
// least recently without a wait, else the one whose wait ends first.
#pragma once

#include <chrono>
#include <list>
#include <string>
#include <unordered_map>

class CPasswordGuards {
 public:
  using Clock = std::chrono::steady_clock;

  explicit CPasswordGuards(size_t capacity);

  bool Waits(const std::string& address, Clock::time_point now) const;
  void CountWrong(const std::string& address, Clock::time_point now);
  size_t Size() const { return m_guards.size(); }

 private:
  struct Guard {
    int wrongPasswords = 0;
    Clock::time_point windowStart;
    Clock::time_point waitUntil;
    bool waiting = false;                    // in m_waiting, else in m_counting
    std::list<std::string>::iterator place;  // in its list
  };

  void ForgetOne(Clock::time_point now);
  void Forget(std::list<std::string>& list);

  size_t m_capacity;
  std::unordered_map<std::string, Guard> m_guards;
  std::list<std::string> m_counting;  // least recently failed first
  std::list<std::string> m_waiting;   // the wait ending first, first
};
