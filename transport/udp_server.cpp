#include "transport/udp_server.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "transport/udp_log.h"
#include "voka/codec/text_escape.h"
#include "voka/failure_cause.h"

namespace {

constexpr char kDefaultServerName[] = "Host";

bool FitsTextField(const char* text) {
  return text == nullptr || std::strlen(text) < static_cast<size_t>(kUdpTextSize);
}

void CopyUnlessEmpty(const char* text, char* field) {
  if (text != nullptr && *text != '\0') std::strcpy(field, text);
}

// Decimal port text as atoi reads it, without its overflow.
int ParsePort(const char* text) {
  long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool MakeDestination(const char* ip, int port, sockaddr_in* destination) {
  std::memset(destination, 0, sizeof(*destination));
  destination->sin_family = AF_INET;
  destination->sin_port = htons(static_cast<uint16_t>(port));
  return port <= 65535 && inet_pton(AF_INET, ip, &destination->sin_addr) == 1;
}

// Why a datagram for ip and port was not sent; port 0 written as digits
// alone turns UDP off.
int UnsentCause(const char* ip, const char* portText, int port) {
  in_addr address{};
  if (port == 0 && portText[std::strspn(portText, "0123456789")] == '\0') return VOKA_CAUSE_UDP_OFF;
  if (port <= 0 || port > 65535) return VOKA_CAUSE_BAD_PORT;
  if (inet_pton(AF_INET, ip, &address) != 1) return VOKA_CAUSE_NAME_NOT_RESOLVED;
  return VOKA_CAUSE_SEND_FAILED;
}

}  // namespace

CUDPServer::CUDPServer(const char* ip, const char* port, const char* name, int timeOutSeconds)
    : m_nTimeOut(kUdpClientInitialTimeOutMs), m_RSSocket(kInvalidSocket), m_nCause(VOKA_CAUSE_NONE) {
  std::strcpy(m_szServerIP, kDefaultHost);
  std::snprintf(m_szServerPort, sizeof m_szServerPort, "%d", kDefaultUdpPort);
  std::strcpy(m_szServerName, kDefaultServerName);

  m_RSSocket = socket(AF_INET, SOCK_DGRAM, 0);
  if (m_RSSocket == kInvalidSocket) {
    throw std::runtime_error(FormatUdpLogLine("Socket Init Failed(Initialize)::Error Code = %d", SocketLastError()));
  }
  ReportUnreachableDestination(m_RSSocket);
  const char* failure = nullptr;
  if (SetServerParam(ip, port, name) == 1) {
    failure = "Init Failed!(SetServerParam)";
  } else if (SetRecvParam(timeOutSeconds) == 1) {
    failure = "Init Failed!(SetRecvParam)";
  }
  if (failure != nullptr) {
    CloseSocket(m_RSSocket);
    m_RSSocket = kInvalidSocket;
    throw std::runtime_error(failure);
  }
}

CUDPServer::~CUDPServer() {
  if (m_RSSocket != kInvalidSocket) {
    CloseSocket(m_RSSocket);
    m_RSSocket = kInvalidSocket;
  }
}

int CUDPServer::SetServerParam(const char* ip, const char* port, const char* name) {
  if (!FitsTextField(ip) || !FitsTextField(port) || !FitsTextField(name)) return 1;
  CopyUnlessEmpty(ip, m_szServerIP);
  CopyUnlessEmpty(port, m_szServerPort);
  CopyUnlessEmpty(name, m_szServerName);
  return 0;
}

int CUDPServer::SetRecvParam(int seconds) {
  if (seconds > kLongestUdpTimeOutSeconds || seconds < -kLongestUdpTimeOutSeconds) return 1;
  m_nTimeOut = seconds * 1000;
  return 0;
}

int CUDPServer::SendPacket(CUDPPacket* packet, int length, const char* ip, int port) {
  if (m_RSSocket == kInvalidSocket) return kUdpSendFailed;
  if (ip == nullptr) return kUdpNoAddress;
  if (port <= 0) return kUdpBadPort;

  sockaddr_in destination;
  bool addressable = MakeDestination(ip, port, &destination);
  SwapUdpHeaderByteOrder(packet->m_Buffer);
  int sent;
  if (!addressable) {
    SetSocketLastError(SocketErrorAddressNotAvailable());
    sent = -1;
  } else if (length < 0 || length > kUdpPacketSize) {
    SetSocketLastError(SocketErrorMessageTooLong());
    sent = -1;
  } else {
    sent = SendDatagram(m_RSSocket, packet->m_Buffer, length, destination);
  }

  // The log must not disturb the error code the caller reads next.
  int sendError = SocketLastError();
  // The host's text is escaped, so that a CR or LF in it cannot forge a line.
  AppendUdpLog(FormatUdpLogLine("[Send]\t\tszremoteIP=%s^$^port=%d^$^socket=%d\r\n", EscapeControlBytes(ip).c_str(),
                                port, static_cast<int>(m_RSSocket)));
  SetSocketLastError(sendError);
  return sent < 0 ? kUdpSendFailed : sent;
}

int CUDPServer::SendToServer(CUDPPacket* packet, int length, int* errorCode) {
  const int port = ParsePort(m_szServerPort);
  const int result = SendPacket(packet, length, m_szServerIP, port);
  m_nCause = result >= 0 ? VOKA_CAUSE_NONE : UnsentCause(m_szServerIP, m_szServerPort, port);
  if (result >= 0) return 0;
  // A datagram refused before it reached the socket (no address, a bad port)
  // is as unsent as one the socket failed: no answer can come.
  if (errorCode != nullptr) *errorCode = result == kUdpSendFailed ? SocketLastError() : 0;
  return 1;
}

namespace {

// Waits for socket to become readable within timeoutMs, in slices of at most
// kCancelCheckMs while cancelled can cut it short; WaitReadable's result, 0
// for a cancelled wait.
int WaitReadableUnlessCancelled(socket_t socket, int timeoutMs, const CancelFlag* cancelled) {
  if (cancelled == nullptr) return WaitReadable(socket, timeoutMs);
  const unsigned long long deadline = MonotonicMilliseconds() + static_cast<unsigned>(timeoutMs);
  int leftMs = timeoutMs;
  while (!IsCancelled(cancelled)) {
    const int ready = WaitReadable(socket, std::min(leftMs, kCancelCheckMs));
    if (ready != 0) return ready;
    const unsigned long long now = MonotonicMilliseconds();
    if (now >= deadline) return 0;
    leftMs = static_cast<int>(deadline - now);
  }
  return 0;
}

}  // namespace

int CUDPServer::RecvPacket(unsigned int limit) {
  std::memset(m_RecvPacket.m_Buffer, 0, sizeof(m_RecvPacket.m_Buffer));

  int ready = WaitReadableUnlessCancelled(m_RSSocket, m_nTimeOut, m_pCancelled);
  if (ready <= 0) {
    // Read before the log file is touched, so the line shows the socket's error.
    int waitError = SocketLastError();
    m_nCause = ready < 0                   ? CauseOfReceiveError(waitError)
               : IsCancelled(m_pCancelled) ? VOKA_CAUSE_CANCELLED
                                           : VOKA_CAUSE_NO_ANSWER;
    int socketValue = static_cast<int>(m_RSSocket);
    AppendUdpLog(FormatUdpLogLine("[Recv]\t\tm_nTimeOut=%d(million second)^$^socket=%d^$^WSAGetLastError=%d\r\n",
                                  m_nTimeOut, socketValue, waitError) +
                 FormatUdpLogLine("[Recv]\t\t!FD_ISSET(m_RSSocket, &fd)^$^socket=%d\r\n", socketValue));
    return kUdpRecvTimeOut;
  }

  unsigned long count = 0;
  if (!PendingDatagramSize(m_RSSocket, &count)) {
    m_nCause = CauseOfReceiveError(SocketLastError());
    return kUdpRecvFailed;
  }
  if (count > static_cast<unsigned long>(kUdpPacketSize) || count >= limit) {
    m_nCause = VOKA_CAUSE_ANSWER_TOO_LONG;
    return kUdpRecvTooLong;
  }

  unsigned char datagram[kUdpPacketSize + 1] = {};
  sockaddr_in sender;
  int received = ReceiveDatagram(m_RSSocket, datagram, static_cast<int>(count), &sender);
  if (received <= 0 || static_cast<unsigned long>(received) != count) {
    // An empty datagram is received whole: it is an answer cut short.
    m_nCause = received == 0 && count == 0 ? VOKA_CAUSE_ANSWER_CUT_SHORT : CauseOfReceiveError(SocketLastError());
    return kUdpRecvFailed;
  }
  m_nCause = VOKA_CAUSE_NONE;
  SetRecvData(datagram, received);
  return 0;
}

int CUDPServer::SetRecvData(const unsigned char* data, int length) {
  if (length < 0) length = 0;
  if (length > kUdpPacketSize) length = kUdpPacketSize;
  std::memcpy(m_RecvPacket.m_Buffer, data, static_cast<size_t>(length));
  m_RecvPacket.m_nLength = length;
  SwapUdpHeaderByteOrder(m_RecvPacket.m_Buffer);
  return 0;
}
