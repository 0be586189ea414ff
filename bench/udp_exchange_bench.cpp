// One whole UDP exchange of the client against a raw sendto/recvfrom round
// trip on one long-lived socket, both against the same echo peer.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/peers/udp_peer.h"
#include "tests/peers/wire_datagram.h"
#include "transport/udp_server.h"

namespace {

// About the size of a sealed login request.
const std::string kPayload(344, 'Q');

UdpPeer& EchoPeer() {
  static UdpPeer peer(
      [](UdpPeer& self, int index, const sockaddr_in& client) { self.Send(self.Request(index), client); });
  return peer;
}

void UdpExchange(benchmark::State& state) {
  UdpPeer& peer = EchoPeer();
  const std::string port = peer.PortText();
  unsigned char answer[kUdpPacketSize + 1];
  for (auto _ : state) {
    CUDPServer client("127.0.0.1", port.c_str(), "TEVUDPServer", 10);
    CUDPPacket request;
    UDP_HEADER header{};
    header.wCommand = 0xC500;
    request.Pack(header, static_cast<int>(kPayload.size()), reinterpret_cast<const unsigned char*>(kPayload.data()));
    int error = 0;
    client.SendToServer(&request, request.m_nLength, &error);
    if (client.RecvPacket(1024) != 0) {
      state.SkipWithError("no answer");
      break;
    }
    CUDPPacket reply;
    std::memcpy(reply.m_Buffer, client.m_RecvPacket.m_Buffer, client.m_RecvPacket.m_nLength);
    reply.m_nLength = client.m_RecvPacket.m_nLength;
    int length = 0;
    reply.Unpack(&header, &length, answer);
    benchmark::DoNotOptimize(length);
  }
}

// The same exchange with the diagnostic log sent to /dev/null, to show what
// the log write per send costs.
void UdpExchangeWithoutLogFile(benchmark::State& state) {
  const char* shipped = std::getenv("VOKA_UDP_LOG");
  std::string restore = shipped ? shipped : "";
  setenv("VOKA_UDP_LOG", "/dev/null", 1);
  UdpExchange(state);
  if (shipped) {
    setenv("VOKA_UDP_LOG", restore.c_str(), 1);
  } else {
    unsetenv("VOKA_UDP_LOG");
  }
}

void RawUdpRoundTrip(benchmark::State& state) {
  UdpPeer& peer = EchoPeer();
  socket_t raw = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to;
  std::memset(&to, 0, sizeof(to));
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(peer.Port());
  const std::string datagram = WireDatagram(0xC500, 1, kPayload);
  char answer[kUdpPacketSize];
  for (auto _ : state) {
    SendDatagram(raw, datagram.data(), static_cast<int>(datagram.size()), to);
    sockaddr_in from;
    int received = ReceiveDatagram(raw, answer, sizeof(answer), &from);
    benchmark::DoNotOptimize(received);
  }
  CloseSocket(raw);
}

}  // namespace

BENCHMARK(UdpExchange)->Name("udp/exchange");
BENCHMARK(UdpExchangeWithoutLogFile)->Name("udp/exchange_log_to_dev_null");
BENCHMARK(RawUdpRoundTrip)->Name("udp/raw_round_trip");
