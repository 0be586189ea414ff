#include "voka-auth/wait_notice.h"

#include <system_error>
#include <utility>

#include "voka/transport/http_get.h"

namespace {

constexpr std::chrono::seconds kQuietWait(1);

}  // namespace

CWaitNotice::CWaitNotice(std::ostream& out, bool enabled, ExchangeTrace* next, int udpTimeOutSeconds,
                         std::string httpServer)
    : m_out(out), m_next(next), m_udpTimeOutSeconds(udpTimeOutSeconds), m_httpServer(std::move(httpServer)) {
  if (!enabled) return;
  try {
    m_watcher = std::thread(&CWaitNotice::Watch, this);
  } catch (const std::system_error&) {
    // No thread to spare: the requests run as they would off a terminal.
  }
}

CWaitNotice::~CWaitNotice() {
  if (!m_watcher.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closing = true;
  }
  m_changed.notify_one();
  m_watcher.join();
}

void CWaitNotice::OnParameterText(const std::string& text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_line.clear();
  if (m_next != nullptr) m_next->OnParameterText(text);
}

void CWaitNotice::OnDatagram(const UDP_HEADER& sent, const std::string& host, const std::string& port) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_next != nullptr) m_next->OnDatagram(sent, host, port);
  Expect("an answer from " + host + ":" + port + " over UDP", m_udpTimeOutSeconds);
}

void CWaitNotice::OnUrl(const std::string& url) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_next != nullptr) m_next->OnUrl(url);
  Expect("an answer from " + m_httpServer, kHttpRequestTimeOutMs / 1000);
}

void CWaitNotice::OnAnswer(const char* data, int length) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_line.clear();
  if (m_next != nullptr) m_next->OnAnswer(data, length);
}

void CWaitNotice::Stop() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_line.clear();
}

void CWaitNotice::Expect(const std::string& answer, int atMostSeconds) {
  if (!m_watcher.joinable()) return;
  m_line = "voka-auth: waiting up to " + std::to_string(atMostSeconds) + " s for " + answer + "\n";
  m_since = std::chrono::steady_clock::now();
  m_changed.notify_one();
}

void CWaitNotice::Watch() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_closing) {
    if (m_line.empty()) {
      m_changed.wait(lock);
    } else if (std::chrono::steady_clock::now() < m_since + kQuietWait) {
      m_changed.wait_until(lock, m_since + kQuietWait);
    } else {
      m_out << m_line << std::flush;
      m_line.clear();
    }
  }
}
