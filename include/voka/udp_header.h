// UDP_HEADER: the 20-byte header of a challenge-server datagram, big-endian
// on the wire. The transport frames datagrams with it and the engine's trace
// hands it out as sent, in host order; part of the library's public headers.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct UDP_HEADER {
  uint32_t dwLength;  // bytes after this field: 16 + payload length
  uint16_t wCommand;
  uint32_t dwSequence;  // stamped when sent
  uint16_t wParam1;
  uint16_t wFixed1;  // always 1
  uint16_t wFixed2;  // always 0
  uint16_t wParam2;
  uint16_t wFixed3;  // always 1
};
#pragma pack(pop)
static_assert(sizeof(UDP_HEADER) == 20, "UDP_HEADER is 20 bytes on the wire");
