// The stages every request runs: one UDP exchange or one HTTP GET, and the
// answer merged into the result map.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "engine/answer_datagram.h"
#include "protocol/engine_messages.h"
#include "transport/udp_server.h"
#include "voka/client_authen.h"
#include "voka/codec/seal_param.h"
#include "voka/engine/request_text.h"
#include "voka/protocol/answer_fields.h"
#include "voka/protocol/field_names.h"
#include "voka/transport/http_get.h"
#include "voka/transport/udp_packet.h"

namespace {

static_assert(SealedTextLength(kLongestDatagramText) <= static_cast<size_t>(kUdpMaxPayload) &&
                  SealedTextLength(kLongestDatagramText) < kSealedBufferSize,
              "the longest parameter text fits one datagram and the seal buffer once sealed");
static_assert(SealedTextLength(kLongestDatagramText + 1) > static_cast<size_t>(kUdpMaxPayload),
              "no longer parameter text always fits one datagram");

// The first HTTP status of a client or server error.
constexpr long kHttpErrorStatus = 400;

int ClampToInt(size_t length) { return static_cast<int>(std::min<size_t>(length, INT_MAX)); }

}  // namespace

int CClientAuthen::RunUdpStage(RequestKind kind, const RequestValues& values, bool* refused) {
  ForgetLastVerdict();
  const RequestKindRow& row = RowOf(kind);
  if (JoinedFieldsLength(row.udpFields, values, std::strlen(kFieldSeparator)) > kLongestDatagramText) {
    NoteCause(RequestTransport::kUdp, VOKA_CAUSE_REQUEST_TOO_LONG);
    return Refuse(kNetworkErrorMessage);
  }
  std::string text;
  if (!JoinSealedFields(SealedFieldsOf(row.udpFields, values), text)) {
    if (refused != nullptr) {
      *refused = true;
    }
    NoteCause(RequestTransport::kUdp, VOKA_CAUSE_TEXT_REFUSED);
    SetResult(kFieldDescMsg, kSeparatorInValueMessage);
    return AUTHEN_E_FAIL;
  }
  if (m_pTrace != nullptr) {
    m_pTrace->OnParameterText(text);
  }
  std::string sealed;
  if (!SealParamText(reinterpret_cast<const unsigned char*>(text.data()), text.size(), kSealPassPhrase, sealed)) {
    NoteCause(RequestTransport::kUdp, VOKA_CAUSE_REQUEST_TOO_LONG);
    SetResult(kFieldDescMsg, kNetworkErrorMessage);
    return AUTHEN_E_FAIL;
  }
  UDP_HEADER header{};
  header.wCommand = row.udpCommand;
  std::string answer;
  int cause = VOKA_CAUSE_NONE;
  if (SendUdpRequest(&header, sealed, answer, &cause) != 0) {
    NoteCause(RequestTransport::kUdp, cause);
    return AUTHEN_E_FAIL;
  }
  return MergeAnswer(RequestTransport::kUdp, answer.data(), answer.size());
}

int CClientAuthen::RunHttpStage(const std::string& url, const std::string& query) {
  try {
    ForgetLastVerdict();
    if (m_pTrace != nullptr) {
      m_pTrace->OnParameterText(query);
      m_pTrace->OnUrl(url);
    }
    std::string body;
    HttpFacts facts;
    const int fetched = HttpGet(url.c_str(), body, &facts, m_strCaBundle.c_str());
    if (m_pTrace != nullptr) {
      m_pTrace->OnHttpFacts(facts);
    }
    if (fetched != 0) {
      // A fetch that failed before it began tells no cause of its own.
      NoteCause(RequestTransport::kHttp, facts.cause != VOKA_CAUSE_NONE ? facts.cause : VOKA_CAUSE_HTTP_FAILED);
      SetResult(kFieldDescMsg, kNetworkErrorMessage);
      return AUTHEN_E_FAIL;
    }
    if (m_pTrace != nullptr) {
      m_pTrace->OnAnswer(body.data(), ClampToInt(body.size()));
    }
    // The body's terminating NUL is part of the answer.
    return MergeAnswer(RequestTransport::kHttp, body.c_str(), body.size() + 1, facts.status);
  } catch (...) {
    NoteCause(RequestTransport::kHttp, VOKA_CAUSE_OUT_OF_MEMORY);
    return AUTHEN_E_FAIL;
  }
}

void CClientAuthen::ForgetLastVerdict() {
  m_mapResult.erase(kFieldRetValue);
  m_mapResult.erase(kFieldDescMsg);
}

void CClientAuthen::BeginRequest() {
  m_lastCauses = RequestCauses();
  m_eLastStage = m_bUseUdp ? RequestTransport::kUdp : RequestTransport::kHttp;
}

void CClientAuthen::NoteCause(RequestTransport stage, int cause) {
  (stage == RequestTransport::kUdp ? m_lastCauses.udp : m_lastCauses.http) = cause;
  m_eLastStage = stage;
  if (cause != VOKA_CAUSE_NONE && m_pTrace != nullptr) {
    m_pTrace->OnFailureCause(stage, cause);
  }
}

int CClientAuthen::LastCause() const {
  return m_eLastStage == RequestTransport::kUdp ? m_lastCauses.udp : m_lastCauses.http;
}

int CClientAuthen::MergeAnswer(RequestTransport stage, const char* data, size_t length, long httpStatus) {
  ParseAnswer(data, length);
  // Anyone who reaches the client's port can send fields; without a verdict
  // of its own the answer cannot count as a success.
  int verdict = AUTHEN_E_FAIL;
  const bool hasVerdict = ReadRetValue(&verdict);
  if (hasVerdict) {
    NoteCause(stage, VOKA_CAUSE_NONE);
  } else {
    NoteCause(stage, httpStatus >= kHttpErrorStatus ? VOKA_CAUSE_HTTP_STATUS : VOKA_CAUSE_NO_VERDICT);
  }
  if (m_mapResult.count(kFieldRetValue) == 0) {
    SetResult(kFieldDescMsg, kNetworkErrorMessage);
  }
  return verdict;
}

int CClientAuthen::RunHttpQueryStage(RequestKind kind, const RequestValues& values) {
  const RequestKindRow& row = RowOf(kind);
  // Escaping only lengthens the values: a URL too long before it is refused
  // without escaping anything.
  const size_t unescapedQuery = JoinedFieldsLength(row.httpFields, values, 1);
  if (m_strTcpServer.size() + std::strlen(row.httpPath) + 1 + unescapedQuery > kLongestUrl) {
    NoteCause(RequestTransport::kHttp, VOKA_CAUSE_REQUEST_TOO_LONG);
    return Refuse(kNetworkErrorMessage);
  }
  const std::vector<std::string> fields = QueryFieldsOf(row.httpFields, values);
  const std::string query = JoinQueryFields(fields);
  const std::string url = m_strTcpServer + row.httpPath + (fields.empty() ? "" : "?") + query;
  if (url.size() > kLongestUrl) {
    NoteCause(RequestTransport::kHttp, VOKA_CAUSE_REQUEST_TOO_LONG);
    return Refuse(kNetworkErrorMessage);
  }
  return RunHttpStage(url, query);
}

int CClientAuthen::SendUdpRequest(UDP_HEADER* header, const std::string& payload, std::string& answer, int* cause) {
  const int code = ExchangeDatagram(header, payload, answer, cause);
  if (code != 0 && m_pTrace != nullptr) {
    m_pTrace->OnExchangeFailed(code);
  }
  if (code != 0) {
    try {
      SetResult(kFieldDescMsg, kNetworkErrorMessage);
    } catch (...) {
      // Out of memory: the code alone reports the failure.
    }
  }
  return code;
}

int CClientAuthen::ExchangeDatagram(UDP_HEADER* header, const std::string& payload, std::string& answer, int* cause) {
  *cause = VOKA_CAUSE_NO_SOCKET;
  try {
    // One socket per exchange: a late answer to an earlier request is never read.
    CUDPServer client(m_strUdpHost.c_str(), m_strUdpPort.c_str(), m_strUdpServerName.c_str(), m_nUdpTimeOut);
    *cause = VOKA_CAUSE_OUT_OF_MEMORY;
    CUDPPacket request;
    if (request.Pack(*header, ClampToInt(payload.size()), reinterpret_cast<const unsigned char*>(payload.data())) !=
        0) {
      *cause = VOKA_CAUSE_REQUEST_TOO_LONG;
      return kPayloadTooLong;
    }
    if (m_pTrace != nullptr) {
      UDP_HEADER sent;
      request.GetHeader(&sent);
      m_pTrace->OnDatagram(sent, m_strUdpHost, m_strUdpPort);
    }
    int errorCode = 0;
    const int sent = client.SendToServer(&request, request.m_nLength, &errorCode);
    *cause = client.m_nCause;
    if (sent != 0) {
      return kSendFailed;
    }
    const int received = client.RecvPacket(kUdpAnswerLimit);
    *cause = client.m_nCause;
    switch (received) {
      case 0: break;
      case kUdpRecvTimeOut: return kNoAnswer;
      case kUdpRecvTooLong: return kAnswerTooLong;
      default: return kReceiveFailed;
    }

    const int decoded = DecodeAnswerDatagram(client.m_RecvPacket, *header, answer);
    *cause = decoded == 0                                     ? VOKA_CAUSE_NONE
             : client.m_RecvPacket.m_nLength < kUdpHeaderSize ? VOKA_CAUSE_ANSWER_CUT_SHORT
                                                              : VOKA_CAUSE_BAD_ANSWER_HEADER;
    if (decoded == 0 && m_pTrace != nullptr) {
      m_pTrace->OnAnswer(answer.data(), ClampToInt(answer.size()));
    }
    return decoded;
  } catch (...) {
    return AUTHEN_E_FAIL;
  }
}
