// Answers of voka-server in the wire format: NAME=VALUE fields in code page
// 936, NUL-separated behind a 20-byte header over UDP, "^$^"-joined over HTTP.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "voka/transport/udp_packet.h"

// Answer fields in the order they are sent, UTF-8.
using AnswerFields = std::vector<std::pair<std::string, std::string>>;

// The value of a field, or an empty text.
std::string AnswerValue(const AnswerFields& fields, const std::string& name);

// Every field followed by a NUL byte.
std::string UdpAnswerPayload(const AnswerFields& fields);

// Fields joined by "^$^".
std::string HttpAnswerBody(const AnswerFields& fields);

// Header and payload: the request's command and sequence, dwLength = 16 +
// payload size, fixed words 1, 0, 1.
std::string BuildAnswerDatagram(const UDP_HEADER& request, const std::string& payload);
