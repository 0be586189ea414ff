#include "programs/voka-server/udp_service_posix.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <new>

#include "codec/ansi_codepage.h"
#include "codec/text_escape.h"
#include "programs/voka-server/listen_socket_posix.h"
#include "programs/voka-server/request_opener.h"
#include "programs/voka-server/server_log.h"
#include "programs/voka-server/server_messages.h"
#include "protocol/answer_fields.h"
#include "protocol/request_kinds.h"

namespace {

constexpr size_t kLargestDatagram = 65536;
constexpr int kDatagramsPerWakeUp = 64;  // lets the HTTP side run under a flood

std::string CommandText(uint16_t command) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", command);
  return text;
}

}  // namespace

CUdpService::CUdpService(CAccountService& accounts, const FaultModes& faults)
    : m_accounts(accounts), m_faults(faults), m_buffer(kLargestDatagram) {}

CUdpService::~CUdpService() {
  if (m_socket >= 0) close(m_socket);
}

int CUdpService::Open(const ListenAddress& address, std::string& error) {
  m_socket = OpenBoundSocket(address, SOCK_DGRAM, error);
  return m_socket < 0 ? 1 : 0;
}

std::string CUdpService::BoundAddress() const { return LocalAddressText(m_socket); }

void CUdpService::OnReadable() {
  for (int i = 0; i < kDatagramsPerWakeUp; ++i) {
    sockaddr_in from = {};
    socklen_t fromSize = sizeof from;
    ssize_t size =
        recvfrom(m_socket, m_buffer.data(), m_buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (size < 0) return;
    try {
      HandleDatagram(m_buffer.data(), static_cast<size_t>(size), &from);
    } catch (const std::bad_alloc&) {
      LogOutOfMemory("datagram dropped");
    }
  }
}

// Only a well-formed request is answered: an answer to anything else would
// let a forged source address turn the server into an amplifier.
void CUdpService::HandleDatagram(const unsigned char* data, size_t size, const void* from) {
  const std::string peer = "udp " + PeerText(from);
  UDP_HEADER header = {};
  std::string text, problem;
  OpenResult opened = OpenRequestDatagram(data, size, header, text, problem);
  if (opened == OpenResult::kBadHeader) {
    LogLine(peer + " dropped: " + problem);
    return;
  }
  std::string what = CommandText(header.wCommand) + " seq=" + std::to_string(header.dwSequence);
  const RequestKindRow* row = FindRequestByCommand(header.wCommand);
  // Clients send code page 936 text; accounts are kept in UTF-8.
  RequestFields fields =
      opened == OpenResult::kOpened ? ParseParameterText(AnsiToUtf8Text(text), kFieldSeparator) : RequestFields();
  if (opened == OpenResult::kBadPayload || row == nullptr || fields.empty()) {
    const char* reason = opened == OpenResult::kBadPayload ? problem.c_str()
                         : row == nullptr                  ? "unknown command"
                                                           : "no NAME=value field in the parameter text";
    LogLine(peer + " " + what + " dropped: " + reason);
    return;
  }
  AnswerFields answer = m_accounts.Answer(row->kind, fields, AddressText(from));
  what += std::string(" ") + row->name;
  if (fields.count("USERID")) what += " user=" + EscapeControlBytes(fields["USERID"]);
  std::string datagram;
  bool send = AnswerDatagram(m_faults, header, answer, datagram);
  LogLine(peer + " " + what + " -> " + AnswerSummary(answer) + (send ? "" : " (silent)"));
  if (send) {
    sendto(m_socket, datagram.data(), datagram.size(), 0, static_cast<const sockaddr*>(from), sizeof(sockaddr_in));
  }
}
