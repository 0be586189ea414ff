#include "voka-server/request_opener.h"

#include <utility>

#include "voka/codec/seal_param.h"
#include "voka/protocol/answer_fields.h"

namespace {

// The key schedules are built once, not for every request.
CSealKey& RequestKey() {
  thread_local CSealKey key(kSealPassPhrase);
  return key;
}

}  // namespace

OpenResult OpenRequestDatagram(const unsigned char* data, size_t size, UDP_HEADER& header, std::string& text,
                               std::string& problem) {
  if (size < kUdpHeaderSize) {
    problem = "datagram of " + std::to_string(size) + " bytes is shorter than the header";
    return OpenResult::kBadHeader;
  }
  if (size > kLargestRequestDatagram) {
    problem = "datagram of " + std::to_string(size) + " bytes is longer than a request can be";
    return OpenResult::kBadHeader;
  }
  ReadDatagramHeader(data, header);
  if (!LengthMatchesDatagram(header, size)) {
    problem = "dwLength " + std::to_string(header.dwLength) + " does not match a datagram of " + std::to_string(size) +
              " bytes";
    return OpenResult::kBadHeader;
  }
  if (!FixedWordsAreStamped(header)) {
    problem = "fixed header words are not 1, 0, 1";
    return OpenResult::kBadHeader;
  }
  const char* payload = reinterpret_cast<const char*>(data + kUdpHeaderSize);
  if (!RequestKey().Open(payload, size - kUdpHeaderSize, text)) {
    problem = "payload is not sealed Base64 text";
    return OpenResult::kBadPayload;
  }
  return OpenResult::kOpened;
}

RequestFields ParseParameterText(const std::string& text, const std::string& separator) {
  RequestFields fields;
  if (separator.empty()) return fields;
  ForEachField(text, separator.c_str(),
               [&fields](std::string name, std::string value) { fields[std::move(name)] = std::move(value); });
  return fields;
}
