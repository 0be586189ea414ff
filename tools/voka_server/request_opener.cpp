#include "tools/voka_server/request_opener.h"

#include "engine/seal_param.h"

namespace {

const char* const kPassPhrase = kSealPassPhrase;

uint32_t Read32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}

uint16_t Read16(const unsigned char* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void Write32(uint32_t value, unsigned char* p) {
  p[0] = static_cast<unsigned char>(value >> 24);
  p[1] = static_cast<unsigned char>(value >> 16);
  p[2] = static_cast<unsigned char>(value >> 8);
  p[3] = static_cast<unsigned char>(value);
}

void Write16(uint16_t value, unsigned char* p) {
  p[0] = static_cast<unsigned char>(value >> 8);
  p[1] = static_cast<unsigned char>(value);
}

}  // namespace

void ReadDatagramHeader(const unsigned char* bytes, UDP_HEADER& header) {
  header.dwLength = Read32(bytes);
  header.wCommand = Read16(bytes + 4);
  header.dwSequence = Read32(bytes + 6);
  header.wParam1 = Read16(bytes + 10);
  header.wFixed1 = Read16(bytes + 12);
  header.wFixed2 = Read16(bytes + 14);
  header.wParam2 = Read16(bytes + 16);
  header.wFixed3 = Read16(bytes + 18);
}

void WriteDatagramHeader(const UDP_HEADER& header, unsigned char* bytes) {
  Write32(header.dwLength, bytes);
  Write16(header.wCommand, bytes + 4);
  Write32(header.dwSequence, bytes + 6);
  Write16(header.wParam1, bytes + 10);
  Write16(header.wFixed1, bytes + 12);
  Write16(header.wFixed2, bytes + 14);
  Write16(header.wParam2, bytes + 16);
  Write16(header.wFixed3, bytes + 18);
}

OpenResult OpenRequestDatagram(const unsigned char* data, size_t size, UDP_HEADER& header, std::string& text,
                               std::string& problem) {
  if (size < kHeaderSize) {
    problem = "datagram of " + std::to_string(size) + " bytes is shorter than the header";
    return OpenResult::kBadHeader;
  }
  if (size > kLargestRequest) {
    problem = "datagram of " + std::to_string(size) + " bytes is longer than a request can be";
    return OpenResult::kBadHeader;
  }
  ReadDatagramHeader(data, header);
  if (header.dwLength != size - 4) {
    problem = "dwLength " + std::to_string(header.dwLength) + " does not match a datagram of " +
              std::to_string(size) + " bytes";
    return OpenResult::kBadHeader;
  }
  if (header.wFixed1 != 1 || header.wFixed2 != 0 || header.wFixed3 != 1) {
    problem = "fixed header words are not 1, 0, 1";
    return OpenResult::kBadHeader;
  }
  const char* payload = reinterpret_cast<const char*>(data + kHeaderSize);
  if (!OpenSealedParam(payload, size - kHeaderSize, kPassPhrase, text)) {
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
