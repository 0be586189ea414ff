// voka-server's HTTP validation service, plain or over TLS: one GET per
// connection, answered and closed. Non-blocking, so that a silent or slow
// client holds up nobody.
#pragma once

#include <poll.h>

#include <chrono>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "programs/voka-server/account_service.h"
#include "programs/voka-server/fault_modes.h"
#include "programs/voka-server/http_request.h"
#include "programs/voka-server/server_options.h"
#include "programs/voka-server/tls_session_openssl.h"

class CHttpService {
 public:
  using Clock = std::chrono::steady_clock;

  // With a TLS context, every connection speaks https.
  CHttpService(CAccountService& accounts, const FaultModes& faults, const CTlsContext* tls = nullptr);
  ~CHttpService();
  CHttpService(const CHttpService&) = delete;
  CHttpService& operator=(const CHttpService&) = delete;

  int Open(const ListenAddress& address, std::string& error);
  std::string BoundAddress() const;
  // Every request is answered with a redirect to the same path and query
  // under base ("scheme://host:port").
  void RedirectTo(const std::string& base) { m_redirectBase = base; }

  // Poll entries for the listener and every connection, in a fixed order...
  void AppendPollEntries(std::vector<pollfd>& entries) const;
  // ...and the work their results call for, plus the connections' deadlines.
  void OnPoll(const pollfd* entries, size_t count);
  // Milliseconds until the next deadline or held body, or -1 when none.
  int MillisecondsToNextEvent() const;

 private:
  struct Connection {
    int socket = -1;
    std::string peer;
    std::unique_ptr<CTlsSession> tls;
    bool handshaken = false;
    std::string input;
    std::string output;       // bytes to send, from sent on
    size_t sent = 0;
    std::string heldBody;     // slow-body fault: sent once releaseAt has passed
    Clock::time_point releaseAt;
    Clock::time_point deadline;
    bool responding = false;
    bool done = false;
  };

  void Accept();
  void Read(Connection& connection);
  void Write(Connection& connection);
  void Respond(Connection& connection, const HttpRequest& request);
  void Reply(Connection& connection, int status, const std::string& body, const std::string& logLine);
  void StartResponse(Connection& connection, const std::string& response, const std::string& logLine);
  void Close(Connection& connection, const std::string& reason);
  ssize_t ReceiveSome(Connection& connection, char* buffer, size_t size);
  ssize_t SendSome(Connection& connection, const char* data, size_t size);

  CAccountService& m_accounts;
  const FaultModes& m_faults;
  const CTlsContext* m_tls;
  std::string m_redirectBase;
  int m_listener = -1;
  std::list<Connection> m_connections;
};
