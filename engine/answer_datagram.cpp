#include "engine/answer_datagram.h"

#include <cstring>
#include <vector>

#include "voka/result_codes.h"

int DecodeAnswerDatagram(const CUDPPacket& received, UDP_HEADER& header, std::string& answer) {
  // A datagram too short to hold its header has no answer in it.
  const int length = received.m_nLength;
  if (length < kUdpHeaderSize || length > kUdpPacketSize) {
    return kBadAnswerHeader;
  }
  CUDPPacket reply;
  std::memcpy(reply.m_Buffer, received.m_Buffer, length);
  reply.m_nLength = length;
  std::vector<unsigned char> payload(kUdpPacketSize + 1, 0);
  int payloadLength = 0;
  if (reply.Unpack(&header, &payloadLength, payload.data()) != 0) {
    return kBadAnswerHeader;
  }
  answer.assign(reinterpret_cast<const char*>(payload.data()), payloadLength);
  return 0;
}
