// The dynamic keys (GUIDs) voka-server has issued, each valid for a lifetime
// and bound to the address it was sent to. Bounded, and shared between source
// addresses, whose UDP form is cheap to forge: an address that asks for more
// keys than its share gives up its own oldest, and a full store gives up its
// oldest key, whoever holds it; but no key younger than a few seconds whose
// login is under way is ever given up, so that a flood cannot push out the key
// a login has just been given.
// A key that has logged an account in has done that work: it stays valid for
// later logins, but leaves its address's share, and a full store gives up
// such keys first, the earliest logged in first, whatever their age. So the
// share bounds the logins an address has under way, not those it has made,
// and logins that end keep no room from those under way.
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
  // Marks a kept key as having logged its account in.
  void LoggedIn(const std::string& guid);

 private:
  using KeyQueue = std::list<std::string>;  // oldest first

  struct Key {
    std::string source;
    Clock::time_point issued;
    bool loggedIn = false;
    KeyQueue::iterator place;  // in its address's queue, or in m_loggedIn once logged in
  };

  // By value: callers pass a reference into the containers it erases from.
  void Remove(std::string guid);
  // Gives up the key unless it is younger than the protected age.
  bool GiveUp(const std::string& guid, Clock::time_point now);

  std::unordered_map<std::string, Key> m_keys;
  std::unordered_map<std::string, KeyQueue> m_bySource;  // keys not yet logged in
  KeyQueue m_loggedIn;                                   // in the order they logged in
  std::set<std::pair<Clock::time_point, std::string>> m_byAge;
};
