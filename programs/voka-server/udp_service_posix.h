// voka-server's UDP challenge service: one answer datagram per request.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "voka-server/account_service.h"
#include "voka-server/fault_modes.h"
#include "voka-server/server_options.h"
#include "voka-server/trusted_proxies.h"

class CUdpService {
 public:
  // A datagram from a trusted proxy names no client, and whatever it were
  // charged to would either be shared by every client or let one guess
  // without bound: it is dropped, and the client falls back to HTTP.
  CUdpService(CAccountService& accounts, const FaultModes& faults, const CTrustedProxies& proxies);
  ~CUdpService();
  CUdpService(const CUdpService&) = delete;
  CUdpService& operator=(const CUdpService&) = delete;

  int Open(const ListenAddress& address, std::string& error);
  int Socket() const { return m_socket; }
  std::string BoundAddress() const;

  // Answers the datagrams that are waiting; never blocks.
  void OnReadable();

 private:
  // Receives up to a batch; the count received.
  int ReceiveBatch();
  // The answer to request i of the batch, if one is sent, into m_answers.
  void HandleDatagram(int i);
  void SendAnswers();

  CAccountService& m_accounts;
  const FaultModes& m_faults;
  const CTrustedProxies& m_proxies;
  int m_socket = -1;
  std::vector<unsigned char> m_buffers;  // one slot a request of the batch
  std::vector<sockaddr_in> m_from;
  std::vector<iovec> m_slots;
  std::vector<mmsghdr> m_requests;
  std::vector<std::string> m_answers;  // with the request's index in m_answerTo
  std::vector<int> m_answerTo;
};
