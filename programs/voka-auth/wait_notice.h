// The line voka-auth writes on a terminal while a request waits: nobody
// should sit before a silent prompt for the length of a time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "voka/client_authen.h"

class CWaitNotice : public ExchangeTrace {
 public:
  // Without a terminal (enabled false) it only hands every event on to next,
  // the -v trace, which may be null. httpServer is the base of every URL,
  // named instead of a URL that may carry a password.
  CWaitNotice(std::ostream& out, bool enabled, ExchangeTrace* next, int udpTimeOutSeconds, std::string httpServer);
  ~CWaitNotice() override;
  CWaitNotice(const CWaitNotice&) = delete;
  CWaitNotice& operator=(const CWaitNotice&) = delete;

  void OnParameterText(const std::string& text) override;
  void OnDatagram(const UDP_HEADER& sent, const std::string& host, const std::string& port) override;
  void OnUrl(const std::string& url) override;
  void OnAnswer(const char* data, int length) override;
  void OnFailureCause(RequestTransport stage, int cause) override {
    if (m_next != nullptr) m_next->OnFailureCause(stage, cause);
  }

  // The engine call has returned: nothing waits any more.
  void Stop();

 private:
  // Called with m_mutex held, as every write to m_out is.
  void Expect(const std::string& answer, int atMostSeconds);
  void Watch();

  std::ostream& m_out;
  ExchangeTrace* const m_next;
  const int m_udpTimeOutSeconds;
  const std::string m_httpServer;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  // Written when the wait outlasts a second; empty while nothing waits, and
  // once written.
  std::string m_line;
  std::chrono::steady_clock::time_point m_since;
  bool m_closing = false;
  std::thread m_watcher;
};
