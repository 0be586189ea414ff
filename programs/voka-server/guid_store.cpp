#include "voka-server/guid_store.h"

#include "voka-server/server_limits.h"

bool CGuidStore::Add(const std::string& guid, const std::string& source, Clock::time_point now) {
  while (!m_byAge.empty() && now - m_byAge.begin()->first > kGuidLifetime) Remove(m_byAge.begin()->second);
  auto own = m_bySource.find(source);
  if (own != m_bySource.end() && own->second.size() >= kMaxGuidsPerSource) {
    if (!GiveUp(own->second.front(), now)) return false;
  } else if (m_keys.size() >= kMaxGuids) {
    if (!m_loggedIn.empty()) {
      Remove(m_loggedIn.front());
    } else if (!GiveUp(m_byAge.begin()->second, now)) {
      return false;
    }
  }
  KeyQueue& queue = m_bySource[source];
  queue.push_back(guid);
  m_keys[guid] = Key{source, now, false, std::prev(queue.end())};
  m_byAge.emplace(now, guid);
  return true;
}

bool CGuidStore::Valid(const std::string& guid, Clock::time_point now) const {
  auto found = m_keys.find(guid);
  return found != m_keys.end() && now - found->second.issued <= kGuidLifetime;
}

std::string CGuidStore::Source(const std::string& guid) const {
  auto found = m_keys.find(guid);
  return found == m_keys.end() ? std::string() : found->second.source;
}

void CGuidStore::LoggedIn(const std::string& guid) {
  auto found = m_keys.find(guid);
  if (found == m_keys.end() || found->second.loggedIn) return;
  Key& key = found->second;
  auto source = m_bySource.find(key.source);
  m_loggedIn.splice(m_loggedIn.end(), source->second, key.place);
  if (source->second.empty()) m_bySource.erase(source);
  key.loggedIn = true;
}

bool CGuidStore::GiveUp(const std::string& guid, Clock::time_point now) {
  if (now - m_keys.at(guid).issued < kYoungestGivenUp) return false;
  Remove(guid);
  return true;
}

// Takes its own copy: callers pass a reference into the containers it erases from.
void CGuidStore::Remove(std::string guid) {  // NOLINT(performance-unnecessary-value-param)
  auto key = m_keys.find(guid);
  m_byAge.erase({key->second.issued, guid});
  if (key->second.loggedIn) {
    m_loggedIn.erase(key->second.place);
  } else {
    auto source = m_bySource.find(key->second.source);
    source->second.erase(key->second.place);
    if (source->second.empty()) m_bySource.erase(source);
  }
  m_keys.erase(key);
}
