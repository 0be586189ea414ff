#pragma once
// One-shot UDP client of the challenge server: one socket per request/answer
// round trip. The owner starts the socket library (WinSock) beforehand.

#include "voka/result_codes.h"
#include "voka/transport/socket_shim.h"
#include "voka/transport/udp_packet.h"

// Despite its name this is the client side: it sends requests to the UDP
// server and receives its answers.
class CUDPServer {
 public:
  // Throws std::runtime_error when no socket can be made or a text is refused.
  CUDPServer(const char* ip, const char* port, const char* name, int timeOutSeconds);
  virtual ~CUDPServer();
  CUDPServer(const CUDPServer&) = delete;
  CUDPServer& operator=(const CUDPServer&) = delete;

  // 0 set (empty or null texts keep their fields); 1 a text longer than 259
  // characters, nothing changed.
  int SetServerParam(const char* ip, const char* port, const char* name);
  // 0 set; 1 the time-out in milliseconds would not fit an int.
  int SetRecvParam(int seconds);
  // Bytes sent, or -1 no socket / send failed, -2 no address, -3 port 0 or
  // negative. Leaves the packet's header in network byte order.
  int SendPacket(CUDPPacket* packet, int length, const char* ip, int port);
  // 0, or 1 when nothing was sent: SendPacket returned a negative code
  // (errorCode then holds the socket error, or 0 when no socket call failed).
  // m_nCause tells why.
  int SendToServer(CUDPPacket* packet, int length, int* errorCode);
  // 0 one datagram in m_RecvPacket; 768 nothing within m_nTimeOut or the wait
  // failed; 769 the receive failed; 770 the datagram is longer than 2048
  // bytes or not shorter than the limit (it stays unread). m_nCause tells
  // why, an unreachable server included.
  int RecvPacket(unsigned int limit);
  // Stores a received datagram (at most 2048 bytes) in host byte order.
  int SetRecvData(const unsigned char* data, int length);

  char m_szServerIP[kUdpTextSize];
  char m_szServerPort[kUdpTextSize];
  char m_szServerName[kUdpTextSize];
  int m_nTimeOut;  // milliseconds
  socket_t m_RSSocket;
  CUDPPacket m_RecvPacket;
  int m_nCause;  // of the last send or receive (voka/failure_cause.h)
};
