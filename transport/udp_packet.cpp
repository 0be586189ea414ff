#include "transport/udp_packet.h"

#include <cstddef>
#include <cstring>

#include "transport/socket_shim.h"

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
  header.wFixed1 = 1;
  header.wFixed2 = 0;
  header.wFixed3 = 1;
  std::memcpy(m_Buffer, &header, sizeof(header));
  return 0;
}

int CUDPPacket::GetHeader(UDP_HEADER* header) {
  std::memcpy(header, m_Buffer, sizeof(*header));
  return 0;
}

int CUDPPacket::Unpack(UDP_HEADER* header, int* length, unsigned char* payload) {
  GetHeader(header);
  // Compared without adding, so that lengths near 2^32 cannot wrap round.
  if (header->dwLength >= static_cast<uint32_t>(kUdpPacketSize - 4)) return 1;
  if (m_nLength < kUdpHeaderSize || m_nLength > kUdpPacketSize) return 1;
  if (payload == nullptr) return 0;
  *length = m_nLength - kUdpHeaderSize;
  std::memcpy(payload, m_Buffer + kUdpHeaderSize, static_cast<size_t>(*length));
  payload[*length] = '\0';
  return 0;
}

namespace {

template <typename Field>
void SwapField(unsigned char* at) {
  Field value;
  std::memcpy(&value, at, sizeof(value));
  if constexpr (sizeof(Field) == 4) {
    value = htonl(value);
  } else {
    value = htons(value);
  }
  std::memcpy(at, &value, sizeof(value));
}

}  // namespace

void SwapUdpHeaderByteOrder(unsigned char* buffer) {
  SwapField<uint32_t>(buffer + offsetof(UDP_HEADER, dwLength));
  SwapField<uint16_t>(buffer + offsetof(UDP_HEADER, wCommand));
  SwapField<uint32_t>(buffer + offsetof(UDP_HEADER, dwSequence));
  SwapField<uint16_t>(buffer + offsetof(UDP_HEADER, wParam1));
  SwapField<uint16_t>(buffer + offsetof(UDP_HEADER, wFixed1));
  SwapField<uint16_t>(buffer + offsetof(UDP_HEADER, wFixed2));
  SwapField<uint16_t>(buffer + offsetof(UDP_HEADER, wParam2));
  SwapField<uint16_t>(buffer + offsetof(UDP_HEADER, wFixed3));
}
