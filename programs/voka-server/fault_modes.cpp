#include "voka-server/fault_modes.h"

#include "voka-server/request_opener.h"

bool ParseFaultMode(const std::string& name, FaultModes& faults) {
  if (name == "silence")
    faults.udp = UdpFault::kSilence;
  else if (name == "oversized")
    faults.udp = UdpFault::kOversized;
  else if (name == "truncated")
    faults.udp = UdpFault::kTruncated;
  else if (name == "lying-length")
    faults.udp = UdpFault::kLyingLength;
  else if (name == "empty-body")
    faults.http = HttpFault::kEmptyBody;
  else if (name == "error-body")
    faults.http = HttpFault::kErrorBody;
  else if (name == "slow-body")
    faults.http = HttpFault::kSlowBody;
  else if (name == "https-to-http")
    faults.http = HttpFault::kRedirectToHttp;
  else if (name == "http-to-https")
    faults.http = HttpFault::kRedirectToHttps;
  else
    return false;
  return true;
}

const char* FaultModeNames() {
  return "silence, oversized, truncated, lying-length (UDP); empty-body, error-body, slow-body, https-to-http, "
         "http-to-https (HTTP)";
}

bool AnswerDatagram(const FaultModes& faults, const UDP_HEADER& request, AnswerFields answer, std::string& datagram) {
  switch (faults.udp) {
    case UdpFault::kSilence: return false;
    case UdpFault::kOversized: {
      size_t size = BuildAnswerDatagram(request, UdpAnswerPayload(answer)).size();
      const std::string padName = "PADDING";
      // The padding field adds its name, '=', its value and a NUL.
      size_t padding =
          kOversizedDatagram > size + padName.size() + 2 ? kOversizedDatagram - size - padName.size() - 2 : 0;
      answer.emplace_back(padName, std::string(padding, 'x'));
      datagram = BuildAnswerDatagram(request, UdpAnswerPayload(answer));
      return true;
    }
    case UdpFault::kTruncated:
      datagram = BuildAnswerDatagram(request, UdpAnswerPayload(answer)).substr(0, kTruncatedDatagram);
      return true;
    case UdpFault::kLyingLength: {
      datagram = BuildAnswerDatagram(request, UdpAnswerPayload(answer));
      UDP_HEADER header;
      ReadDatagramHeader(reinterpret_cast<const unsigned char*>(datagram.data()), header);
      header.dwLength = kLyingLength;
      WriteDatagramHeader(header, reinterpret_cast<unsigned char*>(&datagram[0]));
      return true;
    }
    case UdpFault::kNone: break;
  }
  datagram = BuildAnswerDatagram(request, UdpAnswerPayload(answer));
  return true;
}
