// The stages every request runs: one UDP exchange or one HTTP GET, and the
// answer merged into the result map.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "codec/seal_param.h"
#include "engine/answer_datagram.h"
#include "engine/engine_messages.h"
#include "engine/request_text.h"
#include "protocol/answer_fields.h"
#include "protocol/field_names.h"
#include "transport/http_get.h"
#include "transport/udp_packet.h"
#include "transport/udp_server.h"
#include "voka/client_authen.h"

namespace {

static_assert(SealedTextLength(kLongestDatagramText) <= static_cast<size_t>(kUdpMaxPayload) &&
                  SealedTextLength(kLongestDatagramText) < kSealedBufferSize,
              "the longest parameter text fits one datagram and the seal buffer once sealed");
static_assert(SealedTextLength(kLongestDatagramText + 1) > static_cast<size_t>(kUdpMaxPayload),
              "no longer parameter text always fits one datagram");

int ClampToInt(size_t length) { return static_cast<int>(std::min<size_t>(length, INT_MAX)); }

}  // namespace

int CClientAuthen::RunUdpStage(RequestKind kind, const RequestValues& values, bool* refused) {
  ForgetLastVerdict();
  const RequestKindRow& row = RowOf(kind);
  if (JoinedFieldsLength(row.udpFields, values, std::strlen(kFieldSeparator)) > kLongestDatagramText) {
    return RefuseRequestTooLong();
  }
  std::string text;
  if (!JoinSealedFields(SealedFieldsOf(row.udpFields, values), text)) {
    if (refused != nullptr) {
      *refused = true;
    }
    SetResult(kFieldDescMsg, kSeparatorInValueMessage);
    return AUTHEN_E_FAIL;
  }
  if (m_pTrace != nullptr) {
    m_pTrace->OnParameterText(text);
  }
  std::string sealed;
  if (!SealParamText(reinterpret_cast<const unsigned char*>(text.data()), text.size(), kSealPassPhrase, sealed)) {
    SetResult(kFieldDescMsg, kNetworkErrorMessage);
    return AUTHEN_E_FAIL;
  }
  UDP_HEADER header{};
  header.wCommand = row.udpCommand;
  std::string answer;
  if (SendUdpRequest(&header, sealed, answer) != 0) {
    return AUTHEN_E_FAIL;
  }
  return MergeAnswer(answer.data(), answer.size());
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
    const int fetched = HttpGet(url.c_str(), body, m_pTrace != nullptr ? &facts : nullptr);
    if (m_pTrace != nullptr) {
      m_pTrace->OnHttpFacts(facts);
    }
    if (fetched != 0) {
      SetResult(kFieldDescMsg, kNetworkErrorMessage);
      return AUTHEN_E_FAIL;
    }
    if (m_pTrace != nullptr) {
      m_pTrace->OnAnswer(body.data(), ClampToInt(body.size()));
    }
    // The body's terminating NUL is part of the answer.
    return MergeAnswer(body.c_str(), body.size() + 1);
  } catch (...) {
    return AUTHEN_E_FAIL;
  }
}

void CClientAuthen::ForgetLastVerdict() {
  m_mapResult.erase(kFieldRetValue);
  m_mapResult.erase(kFieldDescMsg);
}

int CClientAuthen::MergeAnswer(const char* data, size_t length) {
  ParseAnswer(data, length);
  // Anyone who reaches the client's port can send fields; without a verdict
  // of its own the answer cannot count as a success.
  if (m_mapResult.count(kFieldRetValue) == 0) {
    SetResult(kFieldDescMsg, kNetworkErrorMessage);
    return AUTHEN_E_FAIL;
  }
  return GetRetValue();
}

int CClientAuthen::RunHttpQueryStage(RequestKind kind, const RequestValues& values) {
  const RequestKindRow& row = RowOf(kind);
  // Escaping only lengthens the values: a URL too long before it is refused
  // without escaping anything.
  const size_t unescapedQuery = JoinedFieldsLength(row.httpFields, values, 1);
  if (m_strTcpServer.size() + std::strlen(row.httpPath) + 1 + unescapedQuery > kLongestUrl) {
    return RefuseRequestTooLong();
  }
  const std::vector<std::string> fields = QueryFieldsOf(row.httpFields, values);
  const std::string query = JoinQueryFields(fields);
  const std::string url = m_strTcpServer + row.httpPath + (fields.empty() ? "" : "?") + query;
  if (url.size() > kLongestUrl) {
    return RefuseRequestTooLong();
  }
  return RunHttpStage(url, query);
}

int CClientAuthen::SendUdpRequest(UDP_HEADER* header, const std::string& payload, std::string& answer) {
  const int code = ExchangeDatagram(header, payload, answer);
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

int CClientAuthen::ExchangeDatagram(UDP_HEADER* header, const std::string& payload, std::string& answer) {
  try {
    // One socket per exchange: a late answer to an earlier request is never read.
    CUDPServer client(m_strUdpHost.c_str(), m_strUdpPort.c_str(), m_strUdpServerName.c_str(), m_nUdpTimeOut);
    CUDPPacket request;
    if (request.Pack(*header, ClampToInt(payload.size()), reinterpret_cast<const unsigned char*>(payload.data())) !=
        0) {
      return kPayloadTooLong;
    }
    if (m_pTrace != nullptr) {
      UDP_HEADER sent;
      request.GetHeader(&sent);
      m_pTrace->OnDatagram(sent, m_strUdpHost, m_strUdpPort);
    }
    int errorCode = 0;
    if (client.SendToServer(&request, request.m_nLength, &errorCode) != 0) {
      return kSendFailed;
    }
    switch (client.RecvPacket(kUdpAnswerLimit)) {
      case 0: break;
      case kUdpRecvTimeOut: return kNoAnswer;
      case kUdpRecvTooLong: return kAnswerTooLong;
      default: return kReceiveFailed;
    }

    const int decoded = DecodeAnswerDatagram(client.m_RecvPacket, *header, answer);
    if (decoded == 0 && m_pTrace != nullptr) {
      m_pTrace->OnAnswer(answer.data(), ClampToInt(answer.size()));
    }
    return decoded;
  } catch (...) {
    return AUTHEN_E_FAIL;
  }
}
