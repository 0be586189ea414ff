#pragma once
// Datagrams as the challenge server writes and reads them, built byte by byte
// here so that the client's own header codec is checked, not trusted.

#include <cstdint>
#include <string>

#include "voka/udp_header.h"

// A big-endian header with dwLength 16 + payload size and the fixed words
// 1, 0, 1, then the payload.
std::string WireDatagram(uint16_t command, uint32_t sequence, const std::string& payload, uint16_t param1 = 0,
                         uint16_t param2 = 0);
// An answer as a server sends it; the second form claims any dwLength.
std::string AnswerDatagram(const std::string& payload, uint16_t command = 0xC500);
std::string AnswerDatagramWithLength(const std::string& payload, uint32_t dwLength);

// Reads the big-endian header into host order; false when the datagram is
// shorter than 20 bytes.
bool ReadWireHeader(const std::string& datagram, UDP_HEADER* header);
uint16_t DatagramCommand(const std::string& datagram);
uint32_t DatagramSequence(const std::string& datagram);
uint32_t DatagramLengthField(const std::string& datagram);
// A request's parameter text: its payload opened with the pass phrase.
std::string OpenedPayload(const std::string& datagram);
