// The dynamic keys (GUIDs) voka-server has issued, each valid for a lifetime
// and bound to the address it was sent to. Bounded, and shared between source
// addresses, whose UDP form is cheap to forge: an address that asks for more
// keys than its share gives up its own oldest, and a full store gives up its
// oldest key, whoever holds it; but no key younger than a few seconds is ever
// given up, so that a flood cannot push out the key a login has just been given.
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

  // false, and the key is not kept, when room for it could only be made by
  // giving up a key too young to give up.
  bool Add(const std::string& guid, const std::string& source, Clock::time_point now);
  // True for a key issued no longer than its lifetime before now.
  bool Valid(const std::string& guid, Clock::time_point now) const;
  // The address a kept key was issued to; empty for a key not kept.
  std::string Source(const std::string& guid) const;

 private:
  struct Key {
    std::string source;
    Clock::time_point issued;
  };

  // By value: callers pass a reference into the containers it erases from.
  void Remove(std::string guid);
  // Gives up the key unless it is younger than the protected age.
  bool GiveUp(const std::string& guid, Clock::time_point now);

  std::map<std::string, Key> m_keys;
  std::map<std::string, std::deque<std::string>> m_bySource;  // oldest first
  std::set<std::pair<Clock::time_point, std::string>> m_byAge;
};
