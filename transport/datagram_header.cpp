#include "voka/transport/datagram_header.h"

#include <cstdint>

namespace {

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

void StampFixedWords(UDP_HEADER& header) {
  header.wFixed1 = 1;
  header.wFixed2 = 0;
  header.wFixed3 = 1;
}

bool HeaderFitsPacket(const UDP_HEADER& header, size_t size) {
  // Compared without adding, so that lengths near 2^32 cannot wrap round.
  return header.dwLength < static_cast<uint32_t>(kUdpPacketSize - 4) && size >= kUdpHeaderSize &&
         size <= kUdpPacketSize;
}

bool LengthMatchesDatagram(const UDP_HEADER& header, size_t size) { return size >= 4 && header.dwLength == size - 4; }

bool FixedWordsAreStamped(const UDP_HEADER& header) {
  return header.wFixed1 == 1 && header.wFixed2 == 0 && header.wFixed3 == 1;
}
