#pragma once
// The WinINet handles that one request holds open, so that another thread
// can close them: closing a handle makes a WinINet call blocked on it return.

#include <windows.h>
#include <wininet.h>

class WinInetHandleSet {
 public:
  WinInetHandleSet();
  ~WinInetHandleSet();
  WinInetHandleSet(const WinInetHandleSet&) = delete;
  WinInetHandleSet& operator=(const WinInetHandleSet&) = delete;

  // Takes an opened handle (null is refused); false, with the handle closed,
  // once the set is cancelled.
  bool Add(HINTERNET handle);
  // Closes a handle of the set, unless Cancel has closed it already.
  void Close(HINTERNET handle);
  // Closes every handle still open, newest first, and refuses later ones.
  void Cancel();

 private:
  static constexpr int kMostOpen = 3;  // root, connection, request

  CRITICAL_SECTION m_lock;
  bool m_cancelled = false;
  int m_count = 0;
  HINTERNET m_open[kMostOpen] = {};
};

// A handle of a set, closed when it leaves scope.
class SetHandle {
 public:
  SetHandle(WinInetHandleSet& set, HINTERNET opened) : m_set(set), m_handle(set.Add(opened) ? opened : nullptr) {}
  ~SetHandle() {
    if (m_handle != nullptr) m_set.Close(m_handle);
  }
  SetHandle(const SetHandle&) = delete;
  SetHandle& operator=(const SetHandle&) = delete;

  // Null when opening failed or the set was cancelled.
  HINTERNET get() const { return m_handle; }

 private:
  WinInetHandleSet& m_set;
  HINTERNET m_handle;
};
