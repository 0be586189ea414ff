// The request/answer exchange that every flow shares, and answer parsing.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/seal_param.h"
#include "engine/answer_datagram.h"
#include "engine/engine_messages.h"
#include "engine/request_text.h"
#include "transport/http_get.h"
#include "transport/udp_packet.h"
#include "transport/udp_server.h"
#include "voka/client_authen.h"

namespace {

// An answer datagram must be shorter than this.
constexpr unsigned kAnswerLimit = 1024;

static_assert(SealedTextLength(kLongestDatagramText) <= static_cast<size_t>(kUdpMaxPayload) &&
                  SealedTextLength(kLongestDatagramText) < kSealedBufferSize,
              "the longest parameter text fits one datagram and the seal buffer once sealed");
static_assert(SealedTextLength(kLongestDatagramText + 1) > static_cast<size_t>(kUdpMaxPayload),
              "no longer parameter text always fits one datagram");

bool IsWhiteSpace(char byte) {
  return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r';
}

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
    SetResult("DESCMSG", kSeparatorInValueMessage);
    return AUTHEN_E_FAIL;
  }
  if (m_pTrace != nullptr) {
    m_pTrace->OnParameterText(text);
  }
  std::string sealed;
  if (!SealParamText(reinterpret_cast<const unsigned char*>(text.data()), text.size(), kSealPassPhrase, sealed)) {
    SetResult("DESCMSG", kNetworkErrorMessage);
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
      SetResult("DESCMSG", kNetworkErrorMessage);
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
  m_mapResult.erase("RETVALUE");
  m_mapResult.erase("DESCMSG");
}

int CClientAuthen::MergeAnswer(const char* data, size_t length) {
  ParseAnswer(data, length);
  // Anyone who reaches the client's port can send fields; without a verdict
  // of its own the answer cannot count as a success.
  if (m_mapResult.count("RETVALUE") == 0) {
    SetResult("DESCMSG", kNetworkErrorMessage);
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
      SetResult("DESCMSG", kNetworkErrorMessage);
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
    switch (client.RecvPacket(kAnswerLimit)) {
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

std::string CClientAuthen::AnswerToText(const char* data, size_t length) {
  std::string text;
  if (data == nullptr || length == 0 || data[0] == '\0') {
    return text;
  }
  for (size_t position = 0; position < length; ++position) {
    if (data[position] != '\0') {
      text += data[position];
      // The answer's last byte is its terminator: it is dropped whenever the
      // byte before it is not a separator.
      if (position + 2 == length) {
        break;
      }
    } else if (position + 1 != length) {
      text += kFieldSeparator;
    }
  }
  return text;
}

void CClientAuthen::SplitString(const std::string& text, const std::string& separator,
                                std::vector<std::string>& pieces) {
  size_t start = 0;
  if (!separator.empty()) {
    for (size_t found = text.find(separator); found != std::string::npos; found = text.find(separator, start)) {
      pieces.push_back(text.substr(start, found - start));
      start = found + separator.size();
    }
  }
  pieces.push_back(text.substr(start));
}

void CClientAuthen::ParseAnswer(const char* data, size_t length) {
  // The fields are taken from the text where they lie: a list of copies
  // would double the memory that an answer of many short fields costs.
  const std::string text = AnswerToText(data, length);
  const size_t separatorLength = std::strlen(kFieldSeparator);
  size_t start = 0;
  for (;;) {
    const size_t found = text.find(kFieldSeparator, start);
    const size_t end = found == std::string::npos ? text.size() : found;
    const size_t equals = static_cast<size_t>(std::find(text.begin() + start, text.begin() + end, '=') - text.begin());
    if (equals < end) {
      std::string name = text.substr(start, equals - start);
      for (char& byte : name) {
        if (byte >= 'a' && byte <= 'z') {
          byte = static_cast<char>(byte - 'a' + 'A');
        }
      }
      SetResult(name, text.substr(equals + 1, end - equals - 1));
    }
    if (found == std::string::npos) {
      break;
    }
    start = found + separatorLength;
  }
}

int CClientAuthen::GetRetValue() const {
  const auto found = m_mapResult.find("RETVALUE");
  if (found == m_mapResult.end()) {
    return AUTHEN_E_FAIL;
  }
  // Read as a formatted integer is read: leading white space, a sign, then
  // digits up to the first other byte. No number, or one that does not fit
  // 32 bits, is a failure rather than a success of 0.
  const std::string& text = found->second;
  size_t position = 0;
  while (position < text.size() && IsWhiteSpace(text[position])) {
    ++position;
  }
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
  int64_t magnitude = 0;
  size_t digits = 0;
  for (; position < text.size() && text[position] >= '0' && text[position] <= '9'; ++position, ++digits) {
    magnitude = magnitude * 10 + (text[position] - '0');
    if (magnitude > limit) {
      return AUTHEN_E_FAIL;
    }
  }
  if (digits == 0) {
    return AUTHEN_E_FAIL;
  }
  return static_cast<int>(negative ? -magnitude : magnitude);
}
