// Deliberately broken answers, chosen on voka-server's command line, for
// testing how clients cope.
#pragma once

#include <string>

#include "voka-server/answer_builder.h"
#include "voka-server/server_limits.h"

enum class UdpFault {
  kNone,
  kSilence,      // open and log the request, answer nothing
  kOversized,    // answer datagram of kOversizedDatagram bytes
  kTruncated,    // answer cut to kTruncatedDatagram bytes, shorter than the header
  kLyingLength,  // dwLength of kLyingLength, whatever the size
};

enum class HttpFault {
  kNone,
  kEmptyBody,        // 200 with an empty body
  kErrorBody,        // 500 with a body that holds no answer fields
  kSlowBody,         // head at once, body only after the slow delay
  kRedirectToHttp,   // the https service redirects every request to the http service
  kRedirectToHttps,  // the http service redirects every request to the https service
};

constexpr size_t kOversizedDatagram = 1100;
constexpr size_t kTruncatedDatagram = 12;
constexpr uint32_t kLyingLength = 4000;

struct FaultModes {
  UdpFault udp = UdpFault::kNone;
  HttpFault http = HttpFault::kNone;
  int slowSeconds = kDefaultSlowSeconds;
};

// Sets the fault named by a --fault word; false for an unknown name.
bool ParseFaultMode(const std::string& name, FaultModes& faults);

// The fault names, for --help.
const char* FaultModeNames();

// The bytes to send for an answer under the UDP fault; false: send nothing.
bool AnswerDatagram(const FaultModes& faults, const UDP_HEADER& request, AnswerFields answer, std::string& datagram);
