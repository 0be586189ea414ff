// The 20-byte datagram header on the wire: big-endian fields, and the checks
// a reader makes. The client and voka-server share this one codec.
#pragma once

#include <cstddef>

#include "voka/transport/udp_packet.h"

// A request: the header and at most kUdpMaxPayload bytes.
constexpr size_t kLargestRequestDatagram = kUdpHeaderSize + kUdpMaxPayload;

// Header fields from the first 20 bytes of a datagram (big-endian), and back.
void ReadDatagramHeader(const unsigned char* bytes, UDP_HEADER& header);
void WriteDatagramHeader(const UDP_HEADER& header, unsigned char* bytes);

// Sets the three fixed words to 1, 0, 1.
void StampFixedWords(UDP_HEADER& header);

// The check every reader makes: size bytes hold a whole header and fit a
// packet, and dwLength is below 2044 (so that it cannot wrap round).
//
// The client reads answers with this check alone, on purpose: it takes the
// payload as the bytes after the header, whatever dwLength says, and ignores
// the fixed words, so that a server that fills them differently still gets
// through.
bool HeaderFitsPacket(const UDP_HEADER& header, size_t size);

// voka-server's stricter framing of requests, which implies HeaderFitsPacket:
// a request is at most kLargestRequestDatagram bytes long,
// dwLength counts exactly the bytes after itself...
bool LengthMatchesDatagram(const UDP_HEADER& header, size_t size);
// ...and the fixed words are 1, 0, 1.
bool FixedWordsAreStamped(const UDP_HEADER& header);
