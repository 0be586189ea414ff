#include "voka/transport/udp_packet.h"

#include <cstddef>
#include <cstring>

#include "voka/transport/datagram_header.h"

std::atomic<uint32_t> g_dwSequence{10000};

CUDPPacket::CUDPPacket() : m_Buffer{}, m_nLength(0) {}

int CUDPPacket::Pack(UDP_HEADER header, int length, const unsigned char* payload) {
  if (static_cast<unsigned>(length) > static_cast<unsigned>(kUdpMaxPayload)) return 1;
  if (length > 0 && payload == nullptr) return 1;
  std::memset(m_Buffer, 0, sizeof(m_Buffer));
  if (length > 0) std::memcpy(m_Buffer + kUdpHeaderSize, payload, static_cast<size_t>(length));
  header.dwLength = static_cast<uint32_t>(length) + 16;
  SetHeader(header);
  m_nLength = length + kUdpHeaderSize;
  return 0;
}

int CUDPPacket::SetHeader(UDP_HEADER header) {
  header.dwSequence = g_dwSequence.fetch_add(1) + 1;
  StampFixedWords(header);
  std::memcpy(m_Buffer, &header, sizeof(header));
  return 0;
}

int CUDPPacket::GetHeader(UDP_HEADER* header) {
  std::memcpy(header, m_Buffer, sizeof(*header));
  return 0;
}

int CUDPPacket::Unpack(UDP_HEADER* header, int* length, unsigned char* payload) {
  GetHeader(header);
  if (m_nLength < 0 || !HeaderFitsPacket(*header, static_cast<size_t>(m_nLength))) return 1;
  if (payload == nullptr) return 0;
  *length = m_nLength - kUdpHeaderSize;
  std::memcpy(payload, m_Buffer + kUdpHeaderSize, static_cast<size_t>(*length));
  payload[*length] = '\0';
  return 0;
}

void SwapUdpHeaderByteOrder(unsigned char* buffer) {
  // Reading big-endian fields into host order is the same byte swap as the
  // way back.
  UDP_HEADER header;
  ReadDatagramHeader(buffer, header);
  std::memcpy(buffer, &header, sizeof(header));
}
