// The dynamic keys (GUIDs) voka-server has issued, each valid for a lifetime.
// Bounded, and shared fairly between source addresses: an address that asks
// for more keys than its share gives up its own oldest, so that a flood from
// one address cannot push out the keys of logins in progress elsewhere.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>

class CGuidStore {
 public:
  using Clock = std::chrono::steady_clock;

  void Add(const std::string& guid, const std::string& source, Clock::time_point now);
  // True for a key issued no longer than its lifetime before now.
  bool Valid(const std::string& guid, Clock::time_point now) const;

 private:
  struct Key {
    std::string source;
    Clock::time_point issued;
  };

  // By value: callers pass a reference into the containers it erases from.
  void Remove(std::string guid);

  std::map<std::string, Key> m_keys;
  std::map<std::string, std::deque<std::string>> m_bySource;  // oldest first
  std::set<std::pair<Clock::time_point, std::string>> m_byAge;
};
