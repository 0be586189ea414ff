// The dynamic keys (GUIDs) voka-server has issued, each valid for a lifetime
// and bound to the address it was sent to. Bounded, and shared between source
// addresses, whose UDP form is cheap to forge: an address that asks for more
// keys than its share gives up its own oldest, and a full store gives up its
// oldest key, whoever holds it; but no key younger than a few seconds is ever
// given up, so that a flood cannot push out the key a login has just been given.
// A key that has logged an account in stays valid but leaves its address's
// share: the share bounds the logins an address has under way, not those it
// has made.
#pragma once

#include <chrono>
#include <list>
#include <set>
#include <string>
#include <unordered_map>
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
  // Takes a key whose login has logged its account in out of its address's share.
  void LoggedIn(const std::string& guid);

 private:
  using SourceQueue = std::list<std::string>;  // an address's keys in its share, oldest first

  struct Key {
    std::string source;
    Clock::time_point issued;
    bool inShare = true;
    SourceQueue::iterator place;  // in its address's queue while in its share
  };

  // By value: callers pass a reference into the containers it erases from.
  void Remove(std::string guid);
  void LeaveShare(Key& key);
  // Gives up the key unless it is younger than the protected age.
  bool GiveUp(const std::string& guid, Clock::time_point now);

  std::unordered_map<std::string, Key> m_keys;
  std::unordered_map<std::string, SourceQueue> m_bySource;
  std::set<std::pair<Clock::time_point, std::string>> m_byAge;
};
