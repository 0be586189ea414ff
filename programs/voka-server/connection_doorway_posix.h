// Accepted connections of voka-server's HTTP services, held until the
// client's first line has come: libmicrohttpd (as Debian 12 ships it) closes
// a request line without a blank unanswered and reads a leading NUL as an
// empty line, so input that is not HTTP at all is answered 400 here. TLS
// connections pass on at once. A connection from a trusted proxy may start
// with a PROXY protocol header, which is taken off here and names the client.
#pragma once

#include <netinet/in.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "voka-server/server_limits.h"
#include "voka-server/trusted_proxies.h"

// The log's reason for closing a connection that missed kRequestDeadline.
inline std::string NoRequestInTime() { return "no request within " + std::to_string(kRequestDeadline.count()) + " s"; }

// "SCHEME HOST:PORT" of the peer, and " for CLIENT" when a proxy named another client.
std::string ProxiedPeerText(const char* scheme, const sockaddr_in& from, const std::string& client);

class CConnectionDoorway {
 public:
  using Clock = std::chrono::steady_clock;
  // Takes the socket over, with the client's address (from's, unless a
  // proxy named another) and the deadline of its request head.
  using HandOver =
      std::function<void(int socket, const sockaddr_in& from, const std::string& client, Clock::time_point deadline)>;

  CConnectionDoorway(const char* scheme, bool looksAtFirstLine, const CTrustedProxies& proxies, HandOver handOver);
  ~CConnectionDoorway();
  CConnectionDoorway(const CConnectionDoorway&) = delete;
  CConnectionDoorway& operator=(const CConnectionDoorway&) = delete;

  void AppendPollEntries(int listener, std::vector<pollfd>& entries) const;
  // Milliseconds until the next deadline of a waiting connection, or -1.
  int MillisecondsToNextEvent() const;
  // Accepts from the listener and passes on or answers what has come; never blocks.
  void Run(int listener);

 private:
  struct Waiting {
    int socket;
    sockaddr_in from;
    std::string client;  // what the connection is counted and charged by
    Clock::time_point deadline;
    bool partial;             // some of the first line has come, without a blank yet
    bool mayHaveProxyHeader;  // from a trusted proxy, and no byte taken yet
  };

  void Accept(int listener);
  // false once the connection has left the doorway.
  bool Look(Waiting& waiting, Clock::time_point now);
  bool Close(Waiting& waiting, const std::string& reason);
  size_t WaitingFrom(const std::string& client) const;
  void CloseOldestOfTheBusiestAddress();

  std::string m_scheme;
  bool m_looksAtFirstLine;
  const CTrustedProxies& m_proxies;
  HandOver m_handOver;
  std::vector<Waiting> m_waiting;
};
