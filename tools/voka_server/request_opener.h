// Opens request datagrams: checks the 20-byte big-endian header and unseals
// the Base64 payload into its parameter fields.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "transport/udp_packet.h"

constexpr size_t kHeaderSize = 20;
constexpr size_t kLargestRequest = 2047;  // header and at most 2027 payload bytes

// Parameter fields by upper-case name.
using RequestFields = std::map<std::string, std::string>;

// Header fields from 20 big-endian bytes, and back.
void ReadDatagramHeader(const unsigned char* bytes, UDP_HEADER& header);
void WriteDatagramHeader(const UDP_HEADER& header, unsigned char* bytes);

enum class OpenResult {
  kOpened,
  kBadHeader,    // not a request of this protocol: no answer is sent
  kBadPayload,   // well framed, but the sealed text does not open: error answer
};

// Checks size, dwLength (datagram size - 4) and the fixed words 1, 0, 1, then
// opens the payload. problem says what was wrong when the result is not kOpened.
OpenResult OpenRequestDatagram(const unsigned char* data, size_t size, UDP_HEADER& header, std::string& text,
                               std::string& problem);

// Splits NAME=VALUE fields joined by separator; names are upper-cased, the
// later of two equal names wins, and a piece without '=' is skipped.
RequestFields ParseParameterText(const std::string& text, const std::string& separator);
