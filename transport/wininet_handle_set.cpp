#include "transport/wininet_handle_set.h"

WinInetHandleSet::WinInetHandleSet() { InitializeCriticalSection(&m_lock); }

WinInetHandleSet::~WinInetHandleSet() { DeleteCriticalSection(&m_lock); }

bool WinInetHandleSet::Add(HINTERNET handle) {
  if (handle == nullptr) return false;
  EnterCriticalSection(&m_lock);
  const bool added = !m_cancelled && m_count < kMostOpen;
  if (added) m_open[m_count++] = handle;
  LeaveCriticalSection(&m_lock);
  if (!added) InternetCloseHandle(handle);
  return added;
}

void WinInetHandleSet::Close(HINTERNET handle) {
  bool held = false;
  EnterCriticalSection(&m_lock);
  for (int i = 0; i < m_count; ++i) {
    if (held) m_open[i - 1] = m_open[i];
    if (m_open[i] == handle) held = true;
  }
  if (held) --m_count;
  LeaveCriticalSection(&m_lock);
  // Outside the lock: closing can wait on the network.
  if (held) InternetCloseHandle(handle);
}

void WinInetHandleSet::Cancel() {
  HINTERNET closing[kMostOpen];
  EnterCriticalSection(&m_lock);
  m_cancelled = true;
  const int count = m_count;
  for (int i = 0; i < count; ++i) closing[i] = m_open[i];
  m_count = 0;
  LeaveCriticalSection(&m_lock);
  for (int i = count - 1; i >= 0; --i) InternetCloseHandle(closing[i]);
}
