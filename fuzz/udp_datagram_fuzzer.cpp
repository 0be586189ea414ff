// Any datagram as the UDP client stores and reads it: SetRecvData, then the
// exchange's DecodeAnswerDatagram. The header must come out as the big-endian
// fields of the first 20 bytes, and an answer must never be longer than the
// packet can hold.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/answer_datagram.h"
#include "fuzz/fuzz_check.h"
#include "transport/udp_server.h"
#include "voka/result_codes.h"
#include "voka/transport/udp_packet.h"

namespace {

uint32_t BigEndian(const uint8_t* bytes, int width) {
  uint32_t value = 0;
  for (int i = 0; i < width; ++i) value = value << 8 | bytes[i];
  return value;
}

// One client for the whole run: it owns a socket, which is never used here.
CUDPServer& Client() {
  static CUDPServer client("127.0.0.1", "9", "TEVUDPServer", 1);
  return client;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A datagram never exceeds 65507 bytes; the client must cope with all of them.
  if (size > 65507) return 0;
  CUDPServer& client = Client();
  FUZZ_CHECK(client.SetRecvData(data, static_cast<int>(size)) == 0);

  CUDPPacket& received = client.m_RecvPacket;
  FUZZ_CHECK(received.m_nLength >= 0 && received.m_nLength <= static_cast<int>(sizeof received.m_Buffer));

  UDP_HEADER header;
  std::memset(&header, 0xA5, sizeof header);
  std::string answer = "untouched";
  const int result = DecodeAnswerDatagram(received, header, answer);

  if (size >= sizeof(UDP_HEADER) && size <= sizeof received.m_Buffer) {
    FUZZ_CHECK(header.dwLength == BigEndian(data, 4));
    FUZZ_CHECK(header.wCommand == BigEndian(data + 4, 2));
    FUZZ_CHECK(header.dwSequence == BigEndian(data + 6, 4));
    FUZZ_CHECK(header.wFixed3 == BigEndian(data + 18, 2));
  }
  if (result == 0) {
    // A datagram shorter than its header is a broken answer, never an empty one.
    FUZZ_CHECK(size >= sizeof(UDP_HEADER));
    FUZZ_CHECK(answer.size() + sizeof(UDP_HEADER) == static_cast<size_t>(received.m_nLength));
    FUZZ_CHECK(std::memcmp(answer.data(), data + sizeof(UDP_HEADER), answer.size()) == 0);
  } else {
    FUZZ_CHECK(result == kBadAnswerHeader && answer == "untouched");
  }
  return 0;
}
