// The dynamic keys (GUIDs) voka-server has issued, each valid for a lifetime.
// Bounded, and shared between source addresses, whose UDP form is cheap to
// forge: an address that asks for more keys than its share gives up its own
// oldest, and a full store gives up the oldest key of the address holding the
// most, but never a key younger than a few seconds, so that a flood cannot
// push out the key a login has just been given.
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

  // false, and the key is not kept, when the store is full of keys too young
  // to give up.
  bool Add(const std::string& guid, const std::string& source, Clock::time_point now);
  // True for a key issued no longer than its lifetime before now.
  bool Valid(const std::string& guid, Clock::time_point now) const;

 private:
  struct Key {
    std::string source;
    Clock::time_point issued;
  };

  // By value: callers pass a reference into the containers it erases from.
  void Remove(std::string guid);
  // Keeps m_sourcesBySize in step with a source's count of keys.
  void Recount(const std::string& source, size_t before, size_t after);

  std::map<std::string, Key> m_keys;
  std::map<std::string, std::deque<std::string>> m_bySource;  // oldest first
  std::set<std::pair<size_t, std::string>> m_sourcesBySize;   // (keys held, source)
  std::set<std::pair<Clock::time_point, std::string>> m_byAge;
};
