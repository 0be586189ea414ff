#include "voka-server/answer_builder.h"

#include "voka-server/request_opener.h"
#include "voka/codec/ansi_codepage.h"
#include "voka/protocol/answer_fields.h"
#include "voka/protocol/request_kinds.h"

namespace {

std::string AnsiField(const std::pair<std::string, std::string>& field) {
  return Utf8ToAnsiText(field.first + "=" + field.second);
}

}  // namespace

std::string AnswerValue(const AnswerFields& fields, const std::string& name) {
  for (const auto& field : fields) {
    if (field.first == name) return field.second;
  }
  return std::string();
}

std::string UdpAnswerPayload(const AnswerFields& fields) {
  std::string payload;
  for (const auto& field : fields) {
    payload += AnsiField(field);
    payload += '\0';
  }
  return payload;
}

std::string HttpAnswerBody(const AnswerFields& fields) {
  std::string body;
  for (const auto& field : fields) {
    if (!body.empty()) body += kFieldSeparator;
    body += AnsiField(field);
  }
  return body;
}

std::string BuildAnswerDatagram(const UDP_HEADER& request, const std::string& payload) {
  UDP_HEADER header = {};
  header.dwLength = static_cast<uint32_t>(payload.size() + kUdpHeaderSize - 4);
  header.wCommand = request.wCommand;
  header.dwSequence = request.dwSequence;
  StampFixedWords(header);
  unsigned char bytes[kUdpHeaderSize];
  WriteDatagramHeader(header, bytes);
  return std::string(reinterpret_cast<const char*>(bytes), kUdpHeaderSize) + payload;
}
