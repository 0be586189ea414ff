// Construction, server parameters and the send paths that send nothing.
#include <cstring>
#include <stdexcept>
#include <string>

#include "tests/transport/udp_log_file.h"
#include "tests/transport/udp_test_fixture.h"

namespace {

std::string ThrowMessage(const char* ip, const char* port, int seconds) {
  try {
    CUDPServer client(ip, port, "TEVUDPServer", seconds);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return std::string();
}

}  // namespace

TEST_F(UdpClientTest, EmptyTextsKeepTheDefaults) {
  CUDPServer client("", "", "", 10);
  EXPECT_STREQ(client.m_szServerIP, "127.0.0.1");
  EXPECT_STREQ(client.m_szServerPort, "8025");

  EXPECT_EQ(client.SetServerParam("10.1.2.3", nullptr, "TEVUDPServer"), 0);
  EXPECT_STREQ(client.m_szServerIP, "10.1.2.3");
  EXPECT_STREQ(client.m_szServerPort, "8025");
  EXPECT_STREQ(client.m_szServerName, "TEVUDPServer");
}

TEST_F(UdpClientTest, TextsLongerThan259CharactersAreRefused) {
  CUDPServer client("127.0.0.1", "8025", "TEVUDPServer", 1);
  const std::string longest(259, 'n');
  EXPECT_EQ(client.SetServerParam("", "", longest.c_str()), 0);
  EXPECT_EQ(std::string(client.m_szServerName), longest);

  const std::string tooLong(260, 'p');
  EXPECT_EQ(client.SetServerParam("127.0.0.2", tooLong.c_str(), ""), 1);
  EXPECT_STREQ(client.m_szServerIP, "127.0.0.1");  // nothing changed
  EXPECT_STREQ(client.m_szServerPort, "8025");
  EXPECT_EQ(ThrowMessage(tooLong.c_str(), "8025", 1), "Init Failed!(SetServerParam)");
}

TEST_F(UdpClientTest, TimeOutsThatDoNotFitAreRefused) {
  CUDPServer client("127.0.0.1", "8025", "TEVUDPServer", 1);
  EXPECT_EQ(client.SetRecvParam(2147483), 0);
  EXPECT_EQ(client.SetRecvParam(2147484), 1);
  EXPECT_EQ(ThrowMessage("127.0.0.1", "8025", -2147484), "Init Failed!(SetRecvParam)");
}

TEST_F(UdpClientTest, PortWithoutDigitsFailsTheSendAndLogsNothing) {
  // A distinctive address, so that lines of other processes cannot match.
  CUDPServer client("127.0.0.77", "port", "TEVUDPServer", 1);
  long logSize = UdpLogSize();
  CUDPPacket packet;
  UDP_HEADER header{};
  ASSERT_EQ(packet.Pack(header, 3, reinterpret_cast<const unsigned char*>("abc")), 0);
  int error = 12345;
  EXPECT_EQ(client.SendToServer(&packet, packet.m_nLength, &error), 1);
  EXPECT_EQ(error, 0);  // no socket call failed
  EXPECT_EQ(client.SendPacket(&packet, packet.m_nLength, "127.0.0.77", 0), -3);
  EXPECT_EQ(client.SendPacket(&packet, packet.m_nLength, "127.0.0.77", -8025), -3);
  EXPECT_EQ(client.SendPacket(&packet, packet.m_nLength, nullptr, 8025), -2);
  EXPECT_EQ(ReadUdpLog(logSize).find("127.0.0.77"), std::string::npos);
  EXPECT_EQ(client.RecvPacket(1024), kUdpRecvTimeOut);
}

TEST_F(UdpClientTest, SendsThatCannotBeMadeFailAndAreLogged) {
  CUDPServer client("127.0.0.1.5", "8025", "TEVUDPServer", 1);
  long logSize = UdpLogSize();
  CUDPPacket packet;
  UDP_HEADER header{};
  ASSERT_EQ(packet.Pack(header, 3, reinterpret_cast<const unsigned char*>("abc")), 0);
  int error = 0;
  EXPECT_EQ(client.SendToServer(&packet, packet.m_nLength, &error), 1);
  EXPECT_EQ(error, SocketErrorAddressNotAvailable());
  EXPECT_NE(ReadUdpLog(logSize).find("[Send]\t\tszremoteIP=127.0.0.1.5^$^port=8025^$^socket="), std::string::npos);

  // More bytes than the packet holds are never read past its buffer.
  EXPECT_EQ(client.SendPacket(&packet, kUdpPacketSize + 1, "127.0.0.1", m_server.Port()), -1);
  EXPECT_EQ(client.SendPacket(&packet, -1, "127.0.0.1", m_server.Port()), -1);
  EXPECT_EQ(client.SendPacket(&packet, 23, "127.0.0.1", 65536), -1);
  std::string datagram;
  EXPECT_FALSE(m_server.Receive(&datagram, 200));
}

TEST_F(UdpClientTest, EarlyRefusalsKeepTheirOrderAndLeaveThePacketAsItWas) {
  // A distinctive address, so that lines of other processes cannot match.
  CUDPServer client("127.0.0.78", "8025", "TEVUDPServer", 1);
  long logSize = UdpLogSize();
  CUDPPacket packet;
  UDP_HEADER header{};
  header.wCommand = 0xC600;
  ASSERT_EQ(packet.Pack(header, 3, reinterpret_cast<const unsigned char*>("abc")), 0);
  const CUDPPacket before = packet;

  // The address is checked before the port, the socket before both.
  EXPECT_EQ(client.SendPacket(&packet, packet.m_nLength, nullptr, 0), -2);
  const socket_t socket = client.m_RSSocket;
  client.m_RSSocket = kInvalidSocket;
  EXPECT_EQ(client.SendPacket(&packet, packet.m_nLength, nullptr, 0), -1);
  // No socket: the caller gets whatever error the socket layer holds.
  SetSocketLastError(4242);
  int error = 0;
  EXPECT_EQ(client.SendToServer(&packet, packet.m_nLength, &error), 1);
  EXPECT_EQ(error, 4242);
  client.m_RSSocket = socket;

  // Nothing was converted to network order, sent or logged.
  EXPECT_EQ(std::memcmp(packet.m_Buffer, before.m_Buffer, sizeof(before.m_Buffer)), 0);
  EXPECT_EQ(ReadUdpLog(logSize).find("127.0.0.78"), std::string::npos);
}

TEST_F(UdpClientTest, PortTextIsReadAsADecimalIntegerPrefix) {
  // Leading blanks and a sign are taken; reading stops at the first non-digit.
  const std::string portText = "  +" + m_server.PortText() + "abc";
  CUDPServer client("127.0.0.1", portText.c_str(), "TEVUDPServer", 1);
  long logSize = UdpLogSize();
  CUDPPacket packet;
  UDP_HEADER header{};
  ASSERT_EQ(packet.Pack(header, 4, reinterpret_cast<const unsigned char*>("ping")), 0);
  int error = 0;
  ASSERT_EQ(client.SendToServer(&packet, packet.m_nLength, &error), 0);
  std::string datagram;
  ASSERT_TRUE(m_server.Receive(&datagram, 2000));
  EXPECT_EQ(datagram.substr(20), "ping");
  EXPECT_NE(ReadUdpLog(logSize).find("^$^port=" + m_server.PortText() + "^$^"), std::string::npos);
}
