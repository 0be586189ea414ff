#include "voka-server/udp_service_posix.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "voka-server/listen_socket_posix.h"
#include "voka-server/request_opener.h"
#include "voka-server/server_limits.h"
#include "voka-server/server_log.h"
#include "voka/codec/ansi_codepage.h"
#include "voka/codec/text_escape.h"
#include "voka/protocol/answer_codes.h"
#include "voka/protocol/answer_fields.h"
#include "voka/protocol/field_names.h"
#include "voka/protocol/request_kinds.h"

namespace {

// A slot one byte longer than any request: with MSG_TRUNC a longer datagram
// reports its whole size, and is refused for it without being read.
constexpr size_t kSlotSize = kLargestRequestDatagram + 1;

std::string CommandText(uint16_t command) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", command);
  return text;
}

}  // namespace

CUdpService::CUdpService(CAccountService& accounts, const FaultModes& faults, const CTrustedProxies& proxies)
    : m_accounts(accounts),
      m_faults(faults),
      m_proxies(proxies),
      m_buffers(kDatagramsPerCall * kSlotSize),
      m_from(kDatagramsPerCall),
      m_slots(kDatagramsPerCall),
      m_requests(kDatagramsPerCall) {
  m_answers.reserve(kDatagramsPerCall);
  m_answerTo.reserve(kDatagramsPerCall);
}

CUdpService::~CUdpService() {
  if (m_socket >= 0) close(m_socket);
}

int CUdpService::Open(const ListenAddress& address, std::string& error) {
  m_socket = OpenBoundSocket(address, SOCK_DGRAM, error);
  return m_socket < 0 ? 1 : 0;
}

std::string CUdpService::BoundAddress() const { return LocalAddressText(m_socket); }

void CUdpService::OnReadable() {
  for (int round = 0; round < kBatchesPerWakeUp; ++round) {
    const int received = ReceiveBatch();
    {
      // Written before the answers go: the log has each line before its
      // client can have the answer.
      CLogBatch batch;
      for (int i = 0; i < received; ++i) {
        try {
          HandleDatagram(i);
        } catch (const std::bad_alloc&) {
          LogOutOfMemory("datagram dropped");
        }
      }
    }
    SendAnswers();
    // A short batch emptied the queue: another call would find nothing.
    if (received < kDatagramsPerCall) return;
  }
}

int CUdpService::ReceiveBatch() {
  for (int i = 0; i < kDatagramsPerCall; ++i) {
    m_slots[i] = {&m_buffers[i * kSlotSize], kSlotSize};
    m_requests[i] = {};
    m_requests[i].msg_hdr.msg_iov = &m_slots[i];
    m_requests[i].msg_hdr.msg_iovlen = 1;
    m_requests[i].msg_hdr.msg_name = &m_from[i];
    m_requests[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
  }
  int received = 0;
  do {
    received = recvmmsg(m_socket, m_requests.data(), kDatagramsPerCall, MSG_DONTWAIT | MSG_TRUNC, nullptr);
  } while (received < 0 && errno == EINTR);
  return received < 0 ? 0 : received;
}

// Only a well-formed request is answered: an answer to anything else would
// let a forged source address turn the server into an amplifier.
void CUdpService::HandleDatagram(int i) {
  const unsigned char* data = &m_buffers[i * kSlotSize];
  const size_t size = m_requests[i].msg_len;  // the whole datagram's, past the slot when longer
  const sockaddr_in* from = &m_from[i];
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
  if (m_proxies.Trusts(AddressText(from))) {
    LogLine(peer + " " + what + " dropped: a proxied datagram does not name its client");
    return;
  }
  AnswerFields answer = m_accounts.Answer(row->kind, fields, AddressText(from));
  what += std::string(" ") + row->name;
  if (fields.count(kFieldUserId)) what += " user=" + EscapeControlBytes(fields[kFieldUserId]);
  std::string datagram;
  bool send = AnswerDatagram(m_faults, header, answer, datagram);
  LogLine(peer + " " + what + " -> " + AnswerSummary(answer) + (send ? "" : " (silent)"));
  if (send) {
    m_answers.push_back(std::move(datagram));
    m_answerTo.push_back(i);
  }
}

void CUdpService::SendAnswers() {
  std::vector<mmsghdr>& answers = m_requests;  // the requests are read by now
  const int count = static_cast<int>(m_answers.size());
  for (int a = 0; a < count; ++a) {
    m_slots[a] = {&m_answers[a][0], m_answers[a].size()};
    answers[a] = {};
    answers[a].msg_hdr.msg_iov = &m_slots[a];
    answers[a].msg_hdr.msg_iovlen = 1;
    answers[a].msg_hdr.msg_name = &m_from[m_answerTo[a]];
    answers[a].msg_hdr.msg_namelen = sizeof(sockaddr_in);
  }
  // An answer the system refuses is lost, as a datagram may be: the client asks again.
  for (int sent = 0; sent < count;) {
    const int done = sendmmsg(m_socket, answers.data() + sent, static_cast<unsigned>(count - sent), 0);
    if (done < 0 && errno == EINTR) continue;
    sent += done > 0 ? done : 1;
  }
  m_answers.clear();
  m_answerTo.clear();
}
