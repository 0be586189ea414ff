#include "tests/peers/wire_datagram.h"

#include "voka/codec/seal_param.h"

namespace {

constexpr size_t kHeaderSize = 20;

void PutBigEndian(std::string& out, uint32_t value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
}

uint32_t GetBigEndian(const std::string& in, size_t offset, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | static_cast<unsigned char>(in[offset + i]);
  return value;
}

UDP_HEADER HeaderOf(const std::string& datagram) {
  UDP_HEADER header{};
  ReadWireHeader(datagram, &header);
  return header;
}

}  // namespace

std::string WireDatagram(uint16_t command, uint32_t sequence, const std::string& payload, uint16_t param1,
                         uint16_t param2) {
  std::string datagram;
  PutBigEndian(datagram, static_cast<uint32_t>(payload.size()) + 16, 4);
  PutBigEndian(datagram, command, 2);
  PutBigEndian(datagram, sequence, 4);
  PutBigEndian(datagram, param1, 2);
  PutBigEndian(datagram, 1, 2);
  PutBigEndian(datagram, 0, 2);
  PutBigEndian(datagram, param2, 2);
  PutBigEndian(datagram, 1, 2);
  return datagram + payload;
}

std::string AnswerDatagram(const std::string& payload, uint16_t command) {
  return WireDatagram(command, 10001, payload);
}

std::string AnswerDatagramWithLength(const std::string& payload, uint32_t dwLength) {
  std::string length;
  PutBigEndian(length, dwLength, 4);
  return AnswerDatagram(payload).replace(0, 4, length);
}

bool ReadWireHeader(const std::string& datagram, UDP_HEADER* header) {
  if (datagram.size() < kHeaderSize) return false;
  header->dwLength = GetBigEndian(datagram, 0, 4);
  header->wCommand = static_cast<uint16_t>(GetBigEndian(datagram, 4, 2));
  header->dwSequence = GetBigEndian(datagram, 6, 4);
  header->wParam1 = static_cast<uint16_t>(GetBigEndian(datagram, 10, 2));
  header->wFixed1 = static_cast<uint16_t>(GetBigEndian(datagram, 12, 2));
  header->wFixed2 = static_cast<uint16_t>(GetBigEndian(datagram, 14, 2));
  header->wParam2 = static_cast<uint16_t>(GetBigEndian(datagram, 16, 2));
  header->wFixed3 = static_cast<uint16_t>(GetBigEndian(datagram, 18, 2));
  return true;
}

uint16_t DatagramCommand(const std::string& datagram) { return HeaderOf(datagram).wCommand; }

uint32_t DatagramSequence(const std::string& datagram) { return HeaderOf(datagram).dwSequence; }

uint32_t DatagramLengthField(const std::string& datagram) { return HeaderOf(datagram).dwLength; }

std::string OpenedPayload(const std::string& datagram) {
  std::string text;
  if (datagram.size() < kHeaderSize ||
      !OpenSealedParam(datagram.data() + kHeaderSize, datagram.size() - kHeaderSize, kSealPassPhrase, text)) {
    return "<not sealed>";
  }
  return text;
}
