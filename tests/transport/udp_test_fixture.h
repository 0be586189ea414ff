#pragma once
// A client socket and a server peer on loopback for the UDP client tests.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/peers/udp_peer.h"
#include "tests/peers/wire_datagram.h"
#include "transport/udp_server.h"

class UdpClientTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(StartSocketLibrary()); }
  void TearDown() override { StopSocketLibrary(); }

  std::unique_ptr<CUDPServer> MakeClient(int timeOutSeconds = 1, const char* ip = "127.0.0.1") {
    return std::make_unique<CUDPServer>(ip, m_server.PortText().c_str(), "TEVUDPServer", timeOutSeconds);
  }

  // Sends a small request to the server peer and returns the client's port
  // as the peer saw it (the first send binds the client's socket).
  uint16_t SendRequest(CUDPServer& client, const std::string& payload = "PARAM") {
    CUDPPacket packet;
    UDP_HEADER header{};
    header.wCommand = 0xC500;
    EXPECT_EQ(
        packet.Pack(header, static_cast<int>(payload.size()), reinterpret_cast<const unsigned char*>(payload.data())),
        0);
    int error = 0;
    EXPECT_EQ(client.SendToServer(&packet, packet.m_nLength, &error), 0);
    std::string request;
    uint16_t clientPort = 0;
    EXPECT_TRUE(m_server.Receive(&request, 2000, &clientPort));
    return clientPort;
  }

  UdpPeer m_server;
};
