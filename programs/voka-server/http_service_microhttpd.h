// voka-server's HTTP validation service, plain or over TLS, on libmicrohttpd:
// one GET per connection, answered and closed. It runs from the server's poll
// loop (one epoll descriptor per service), so requests are answered one at a
// time on the main thread, like the UDP ones.
#pragma once

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "voka-server/account_service.h"
#include "voka-server/connection_doorway_posix.h"
#include "voka-server/fault_modes.h"
#include "voka-server/server_options.h"
#include "voka-server/tls_credentials.h"
#include "voka-server/trusted_proxies.h"

struct MHD_Connection;
struct MHD_Daemon;

class CHttpService {
 public:
  using Clock = std::chrono::steady_clock;

  // With TLS credentials, every connection speaks https. A request from a
  // trusted proxy is charged to the client it names.
  CHttpService(CAccountService& accounts, const FaultModes& faults, const CTrustedProxies& proxies,
               const TlsCredentials* tls = nullptr);
  ~CHttpService();
  CHttpService(const CHttpService&) = delete;
  CHttpService& operator=(const CHttpService&) = delete;

  int Open(const ListenAddress& address, std::string& error);
  std::string BoundAddress() const;
  // Every request is answered with a redirect to the same path and query
  // under base ("scheme://host:port").
  void RedirectTo(const std::string& base) { m_redirectBase = base; }

  // What to wait for before Run has work...
  void AppendPollEntries(std::vector<pollfd>& entries);
  // ...which is also due after this many milliseconds (-1: no deadline).
  int MillisecondsToNextEvent();
  // Serves what the poll found ready for this service, or what fell due;
  // without either it makes no system call.
  void Run(const std::vector<pollfd>& polled);

 private:
  friend struct HttpServiceCallbacks;

  struct Connection {
    std::string peer;     // "http HOST:PORT", for the log
    std::string address;  // the client's IP address, as far as a proxy has named it yet
    int socket = -1;
    Clock::time_point deadline;  // for a complete request head
    std::string target;          // as the request line has it
    bool answered = false;
    std::string cutOff;            // why it was closed before its head came; empty while it may come
    unsigned long long order = 0;  // of hand-over: the lower, the older
  };

  // The slow-body fault's body, sent once releaseAt has passed.
  struct HeldBody {
    CHttpService* service = nullptr;
    MHD_Connection* connection = nullptr;
    std::string body;
    Clock::time_point releaseAt;
    bool suspended = false;
  };

  // Decides the answer to a complete request head; false drops the connection.
  bool Respond(MHD_Connection* handle, Connection& connection, const std::string& method, const std::string& version);
  // Behind a trusted proxy: the client its X-Forwarded-For names.
  void ChargeForwardedClient(MHD_Connection* handle, Connection& connection);
  bool Reply(MHD_Connection* handle, Connection& connection, unsigned status, const std::string& body,
             const std::string& logLine);
  bool HoldBody(MHD_Connection* handle, Connection& connection, const std::string& body, const std::string& logLine);
  void HandOver(int socket, const sockaddr_in& from, const std::string& client, Clock::time_point deadline);
  size_t OpenFrom(const std::string& address) const;
  // A full service makes room as the waiting room does: the address holding
  // the most connections still waiting for their head loses its oldest.
  void CutOffOldestOfTheBusiestAddress();

  CAccountService& m_accounts;
  const FaultModes& m_faults;
  const CTrustedProxies& m_proxies;
  const TlsCredentials* m_tls;
  const char* m_scheme;
  std::string m_redirectBase;
  int m_listener = -1;
  CConnectionDoorway m_doorway;
  MHD_Daemon* m_daemon = nullptr;
  Clock::time_point m_handedOverDeadline;  // of the connection being handed over
  std::string m_handedOverClient;
  size_t m_firstPollEntry = 0;  // this service's entries in the loop's poll
  size_t m_pollEntries = 0;
  Clock::time_point m_dueAt = Clock::time_point::max();  // of the next event without a ready socket
  unsigned long long m_handedOver = 0;                   // connections handed over so far
  std::map<MHD_Connection*, Connection> m_connections;
  std::set<HeldBody*> m_heldBodies;
};
