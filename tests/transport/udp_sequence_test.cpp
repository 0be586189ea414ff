// Runs alone in its process: the sequence counter is process-wide.
#include <gtest/gtest.h>

#include <string>

#include "tests/peers/udp_peer.h"
#include "transport/udp_server.h"

TEST(UdpSequence, FirstDatagramsOfAProcessCarry10001Then10002) {
  ASSERT_TRUE(StartSocketLibrary());
  UdpPeer server;
  EXPECT_EQ(g_dwSequence.load(), 10000u);

  CUDPServer client("127.0.0.1", server.PortText().c_str(), "TEVUDPServer", 1);
  const std::string expected[] = {std::string("\x00\x00\x27\x11", 4), std::string("\x00\x00\x27\x12", 4)};
  for (const std::string& sequence : expected) {
    CUDPPacket packet;
    UDP_HEADER header{};
    header.wCommand = 0x5300;
    const unsigned char payload[] = "INDICATION=";
    ASSERT_EQ(packet.Pack(header, 11, payload), 0);
    int error = 0;
    ASSERT_EQ(client.SendToServer(&packet, packet.m_nLength, &error), 0);
    std::string datagram;
    ASSERT_TRUE(server.Receive(&datagram, 2000));
    ASSERT_EQ(datagram.size(), 31u);
    EXPECT_EQ(datagram.substr(6, 4), sequence);
  }
  EXPECT_EQ(g_dwSequence.load(), 10002u);
  StopSocketLibrary();
}
