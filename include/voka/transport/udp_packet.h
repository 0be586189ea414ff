#pragma once
// One datagram of the challenge-server protocol: a 20-byte header, big-endian
// on the wire, followed by the payload.

#include <atomic>
#include <cstdint>

#include "voka/limits.h"
#include "voka/udp_header.h"

// Process-wide datagram sequence counter; the first datagram carries 10001.
extern std::atomic<uint32_t> g_dwSequence;

class CUDPPacket {
 public:
  CUDPPacket();

  // 0 packed; 1 payload length 2028 or more, negative, or without bytes
  // (packet unchanged).
  int Pack(UDP_HEADER header, int length, const unsigned char* payload);
  // Stamps the next sequence number and the fixed words; always 0.
  int SetHeader(UDP_HEADER header);
  int GetHeader(UDP_HEADER* header);
  // 0 unpacked; 1 dwLength out of range or fewer stored bytes than a header.
  // The header is copied out in both cases. A null payload skips the copy;
  // otherwise the payload gets the stored bytes and a NUL after them.
  int Unpack(UDP_HEADER* header, int* length, unsigned char* payload);

  unsigned char m_Buffer[kUdpPacketSize];
  int m_nLength;
};

// Converts the eight header fields at the start of a datagram buffer between
// host and network byte order (the same swap both ways).
void SwapUdpHeaderByteOrder(unsigned char* buffer);
