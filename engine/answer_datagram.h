// Reading an answer datagram, apart from any socket and engine state: the
// exchange and the fuzzers call the same function.
#pragma once

#include <string>

#include "voka/transport/udp_packet.h"

// The header and the answer bytes of a datagram as the client stored it on
// receipt (header in host order, as CUDPServer::SetRecvData leaves it). 0,
// or kBadAnswerHeader when the datagram cannot hold a header (see
// HeaderFitsPacket). The answer is the whole payload, whatever dwLength says.
int DecodeAnswerDatagram(const CUDPPacket& received, UDP_HEADER& header, std::string& answer);
