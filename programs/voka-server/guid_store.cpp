#include "programs/voka-server/guid_store.h"

#include <algorithm>

namespace {

constexpr auto kGuidLifetime = std::chrono::minutes(30);
constexpr size_t kMaxGuids = 100000;
constexpr size_t kMaxGuidsPerSource = 1000;

}  // namespace

void CGuidStore::Add(const std::string& guid, const std::string& source, Clock::time_point now) {
  while (!m_byAge.empty() && now - m_byAge.begin()->first > kGuidLifetime) Remove(m_byAge.begin()->second);
  auto own = m_bySource.find(source);
  const size_t held = own == m_bySource.end() ? 0 : own->second.size();
  if (held >= kMaxGuidsPerSource || (held > 0 && m_keys.size() >= kMaxGuids)) {
    Remove(own->second.front());
  } else if (m_keys.size() >= kMaxGuids) {
    Remove(m_byAge.begin()->second);
  }
  m_keys[guid] = Key{source, now};
  m_bySource[source].push_back(guid);
  m_byAge.emplace(now, guid);
}

bool CGuidStore::Valid(const std::string& guid, Clock::time_point now) const {
  auto found = m_keys.find(guid);
  return found != m_keys.end() && now - found->second.issued <= kGuidLifetime;
}

void CGuidStore::Remove(std::string guid) {
  auto key = m_keys.find(guid);
  m_byAge.erase({key->second.issued, guid});
  auto source = m_bySource.find(key->second.source);
  std::deque<std::string>& queue = source->second;
  queue.erase(std::find(queue.begin(), queue.end(), guid));
  if (queue.empty()) m_bySource.erase(source);
  m_keys.erase(key);
}
