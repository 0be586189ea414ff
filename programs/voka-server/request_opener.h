// Opens request datagrams: checks the 20-byte big-endian header and unseals
// the Base64 payload into its parameter fields.
#pragma once

#include <cstddef>
#include <map>
#include <string>

#include "voka/transport/datagram_header.h"

// Parameter fields by upper-case name.
using RequestFields = std::map<std::string, std::string>;

enum class OpenResult {
  kOpened,
  kBadHeader,   // not a request of this protocol: no answer is sent
  kBadPayload,  // well framed, but the sealed text does not open: error answer
};

// Checks the framing as a server does (size, dwLength equal to the size less
// 4, the fixed words), then opens the payload. problem says what was wrong when the result is not kOpened.
OpenResult OpenRequestDatagram(const unsigned char* data, size_t size, UDP_HEADER& header, std::string& text,
                               std::string& problem);

// Splits NAME=VALUE fields joined by separator; names are upper-cased, the
// later of two equal names wins, and a piece without '=' is skipped.
RequestFields ParseParameterText(const std::string& text, const std::string& separator);
