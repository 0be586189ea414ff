#include "programs/voka-server/guid_store.h"

#include <algorithm>

namespace {

constexpr auto kGuidLifetime = std::chrono::minutes(30);
constexpr size_t kMaxGuids = 100000;
constexpr size_t kMaxGuidsPerSource = 1000;
// Long enough for a client to send its login with the key it was just given.
constexpr auto kYoungestGivenUp = std::chrono::seconds(10);

}  // namespace

bool CGuidStore::Add(const std::string& guid, const std::string& source, Clock::time_point now) {
  while (!m_byAge.empty() && now - m_byAge.begin()->first > kGuidLifetime) Remove(m_byAge.begin()->second);
  auto own = m_bySource.find(source);
  if (own != m_bySource.end() && own->second.size() >= kMaxGuidsPerSource) {
    Remove(own->second.front());
  } else if (m_keys.size() >= kMaxGuids) {
    const std::string& oldest = m_bySource.at(m_sourcesBySize.rbegin()->second).front();
    if (now - m_keys.at(oldest).issued < kYoungestGivenUp) return false;
    Remove(oldest);
  }
  m_keys[guid] = Key{source, now};
  std::deque<std::string>& keys = m_bySource[source];
  keys.push_back(guid);
  Recount(source, keys.size() - 1, keys.size());
  m_byAge.emplace(now, guid);
  return true;
}

bool CGuidStore::Valid(const std::string& guid, Clock::time_point now) const {
  auto found = m_keys.find(guid);
  return found != m_keys.end() && now - found->second.issued <= kGuidLifetime;
}

// Takes its own copy: callers pass a reference into the containers it erases from.
void CGuidStore::Remove(std::string guid) {  // NOLINT(performance-unnecessary-value-param)
  auto key = m_keys.find(guid);
  m_byAge.erase({key->second.issued, guid});
  auto source = m_bySource.find(key->second.source);
  std::deque<std::string>& queue = source->second;
  queue.erase(std::find(queue.begin(), queue.end(), guid));
  Recount(source->first, queue.size() + 1, queue.size());
  if (queue.empty()) m_bySource.erase(source);
  m_keys.erase(key);
}

void CGuidStore::Recount(const std::string& source, size_t before, size_t after) {
  if (before > 0) m_sourcesBySize.erase({before, source});
  if (after > 0) m_sourcesBySize.emplace(after, source);
}
