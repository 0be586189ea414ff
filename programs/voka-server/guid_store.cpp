#include "programs/voka-server/guid_store.h"

#include <algorithm>

#include "voka/limits.h"

bool CGuidStore::Add(const std::string& guid, const std::string& source, Clock::time_point now) {
  while (!m_byAge.empty() && now - m_byAge.begin()->first > kGuidLifetime) Remove(m_byAge.begin()->second);
  auto own = m_bySource.find(source);
  if (own != m_bySource.end() && own->second.size() >= kMaxGuidsPerSource) {
    if (!GiveUp(own->second.front(), now)) return false;
  } else if (m_keys.size() >= kMaxGuids && !GiveUp(m_byAge.begin()->second, now)) {
    return false;
  }
  m_keys[guid] = Key{source, now};
  m_bySource[source].push_back(guid);
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

bool CGuidStore::GiveUp(const std::string& guid, Clock::time_point now) {
  if (now - m_keys.at(guid).issued < kYoungestGivenUp) return false;
  Remove(guid);
  return true;
}

// Takes its own copy: callers pass a reference into the containers it erases from.
void CGuidStore::Remove(std::string guid) {  // NOLINT(performance-unnecessary-value-param)
  auto key = m_keys.find(guid);
  m_byAge.erase({key->second.issued, guid});
  auto source = m_bySource.find(key->second.source);
  std::deque<std::string>& queue = source->second;
  queue.erase(std::find(queue.begin(), queue.end(), guid));
  if (queue.empty()) m_bySource.erase(source);
  m_keys.erase(key);
}
