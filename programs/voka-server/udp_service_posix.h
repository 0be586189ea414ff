// voka-server's UDP challenge service: one answer datagram per request.
#pragma once

#include <string>
#include <vector>

#include "programs/voka-server/account_service.h"
#include "programs/voka-server/fault_modes.h"
#include "programs/voka-server/server_options.h"

class CUdpService {
 public:
  CUdpService(CAccountService& accounts, const FaultModes& faults);
  ~CUdpService();
  CUdpService(const CUdpService&) = delete;
  CUdpService& operator=(const CUdpService&) = delete;

  int Open(const ListenAddress& address, std::string& error);
  int Socket() const { return m_socket; }
  std::string BoundAddress() const;

  // Answers the datagrams that are waiting; never blocks.
  void OnReadable();

 private:
  void HandleDatagram(const unsigned char* data, size_t size, const void* from);

  CAccountService& m_accounts;
  const FaultModes& m_faults;
  int m_socket = -1;
  std::vector<unsigned char> m_buffer;
};
