#include "programs/voka-server/request_opener.h"

#include "codec/seal_param.h"

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
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(start, end - start);
    size_t equals = piece.find('=');
    if (equals != std::string::npos) {
      std::string name = piece.substr(0, equals);
      for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      fields[name] = piece.substr(equals + 1);
    }
    start = end + separator.size();
  }
  return fields;
}
