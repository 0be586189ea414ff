// One request/answer round trip of the UDP client against a real peer socket.
#include <chrono>
#include <cstring>
#include <string>

#include "tests/transport/udp_test_fixture.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

std::string BigEndian32(uint32_t value) {
  return Bytes({static_cast<int>(value >> 24), static_cast<int>((value >> 16) & 0xFF),
                static_cast<int>((value >> 8) & 0xFF), static_cast<int>(value & 0xFF)});
}

std::string Filler(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('A' + i % 26);
  return text;
}

}  // namespace

TEST_F(UdpClientTest, RequestHeaderIsBigEndianWithTheFixedWords) {
  auto client = MakeClient();
  const std::string payload = "USERID=u1^$^PWD=p";
  CUDPPacket packet;
  UDP_HEADER header{};
  header.wCommand = 0xC500;
  header.wParam1 = 0x1234;
  header.wParam2 = 0xABCD;
  header.dwSequence = 999;  // replaced by the counter
  uint32_t sequence = g_dwSequence.load();
  ASSERT_EQ(
      packet.Pack(header, static_cast<int>(payload.size()), reinterpret_cast<const unsigned char*>(payload.data())), 0);
  int error = 0;
  ASSERT_EQ(client->SendToServer(&packet, packet.m_nLength, &error), 0);

  std::string datagram;
  ASSERT_TRUE(m_server.Receive(&datagram, 2000));
  ASSERT_EQ(datagram.size(), 20 + payload.size());
  EXPECT_EQ(datagram.substr(0, 4), BigEndian32(static_cast<uint32_t>(datagram.size() - 4)));
  EXPECT_EQ(datagram.substr(4, 2), Bytes({0xC5, 0x00}));
  EXPECT_EQ(datagram.substr(6, 4), BigEndian32(sequence + 1));
  EXPECT_EQ(datagram.substr(10, 2), Bytes({0x12, 0x34}));
  EXPECT_EQ(datagram.substr(12, 2), Bytes({0x00, 0x01}));
  EXPECT_EQ(datagram.substr(14, 2), Bytes({0x00, 0x00}));
  EXPECT_EQ(datagram.substr(16, 2), Bytes({0xAB, 0xCD}));
  EXPECT_EQ(datagram.substr(18, 2), Bytes({0x00, 0x01}));
  EXPECT_EQ(datagram.substr(20), payload);
  // The sent packet keeps its header in network order.
  EXPECT_EQ(packet.m_Buffer[4], 0xC5);
}

TEST_F(UdpClientTest, AnswerIsReceivedAndUnpacked) {
  auto client = MakeClient();
  uint16_t clientPort = SendRequest(*client);
  const std::string answer = std::string("RETVALUE=0", 10) + '\0' + "DESCMSG=ok";
  ASSERT_TRUE(m_server.SendTo(clientPort, WireDatagram(0xC500, 77, answer, 5, 6)));

  ASSERT_EQ(client->RecvPacket(1024), 0);
  ASSERT_EQ(client->m_RecvPacket.m_nLength, static_cast<int>(20 + answer.size()));
  CUDPPacket copy;
  std::memcpy(copy.m_Buffer, client->m_RecvPacket.m_Buffer, client->m_RecvPacket.m_nLength);
  copy.m_nLength = client->m_RecvPacket.m_nLength;
  UDP_HEADER header{};
  int length = -1;
  unsigned char payload[kUdpPacketSize] = {};
  payload[answer.size()] = 'x';
  ASSERT_EQ(copy.Unpack(&header, &length, payload), 0);
  EXPECT_EQ(+header.dwLength, 16 + answer.size());
  EXPECT_EQ(+header.wCommand, 0xC500);
  EXPECT_EQ(+header.dwSequence, 77u);
  EXPECT_EQ(+header.wParam1, 5);
  EXPECT_EQ(+header.wFixed1, 1);
  EXPECT_EQ(+header.wFixed2, 0);
  EXPECT_EQ(+header.wParam2, 6);
  EXPECT_EQ(+header.wFixed3, 1);
  ASSERT_EQ(length, static_cast<int>(answer.size()));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(payload), length), answer);
  EXPECT_EQ(payload[length], '\0');

  // Without a payload buffer only the header is copied out.
  UDP_HEADER again{};
  int untouched = -7;
  EXPECT_EQ(copy.Unpack(&again, &untouched, nullptr), 0);
  EXPECT_EQ(+again.dwSequence, 77u);
  EXPECT_EQ(untouched, -7);
}

TEST_F(UdpClientTest, LargestPayloadIsSentAndOneMoreIsRefused) {
  auto client = MakeClient();
  const std::string largest = Filler(2027);
  CUDPPacket packet;
  UDP_HEADER header{};
  header.wCommand = 0xAD00;
  ASSERT_EQ(packet.Pack(header, 2027, reinterpret_cast<const unsigned char*>(largest.data())), 0);
  EXPECT_EQ(packet.m_nLength, 2047);
  int error = 0;
  ASSERT_EQ(client->SendToServer(&packet, packet.m_nLength, &error), 0);
  std::string datagram;
  ASSERT_TRUE(m_server.Receive(&datagram, 2000));
  ASSERT_EQ(datagram.size(), 2047u);
  EXPECT_EQ(datagram.substr(0, 4), BigEndian32(2043));
  EXPECT_EQ(datagram.substr(20), largest);

  // Packing clears what a longer earlier payload left in the buffer.
  ASSERT_EQ(packet.Pack(header, 3, reinterpret_cast<const unsigned char*>("abc")), 0);
  EXPECT_EQ(packet.m_nLength, 23);
  const unsigned char zeroes[kUdpPacketSize - 23] = {};
  EXPECT_EQ(std::memcmp(packet.m_Buffer + 23, zeroes, sizeof(zeroes)), 0);

  CUDPPacket refused;
  ASSERT_EQ(refused.Pack(header, 10, reinterpret_cast<const unsigned char*>(largest.data())), 0);
  CUDPPacket before = refused;
  uint32_t sequence = g_dwSequence.load();
  const std::string tooLong = Filler(2028);
  EXPECT_EQ(refused.Pack(header, 2028, reinterpret_cast<const unsigned char*>(tooLong.data())), 1);
  EXPECT_EQ(refused.Pack(header, -1, reinterpret_cast<const unsigned char*>(tooLong.data())), 1);
  EXPECT_EQ(refused.Pack(header, 5, nullptr), 1);
  EXPECT_EQ(std::memcmp(refused.m_Buffer, before.m_Buffer, sizeof(before.m_Buffer)), 0);
  EXPECT_EQ(refused.m_nLength, before.m_nLength);
  EXPECT_EQ(g_dwSequence.load(), sequence);
}

TEST_F(UdpClientTest, AnswerOverTheLimitStaysUnreadAndNoneExceedsThePacket) {
  auto client = MakeClient();
  uint16_t clientPort = SendRequest(*client);
  ASSERT_TRUE(m_server.SendTo(clientPort, WireDatagram(0xC500, 2, Filler(1004))));
  EXPECT_EQ(client->RecvPacket(1024), kUdpRecvTooLong);
  // Not consumed: a larger limit reads the same datagram.
  ASSERT_EQ(client->RecvPacket(2048), 0);
  ASSERT_EQ(client->m_RecvPacket.m_nLength, 1024);
  UDP_HEADER header{};
  client->m_RecvPacket.GetHeader(&header);
  EXPECT_EQ(+header.dwSequence, 2u);

  ASSERT_TRUE(m_server.SendTo(clientPort, Filler(2049)));
  EXPECT_EQ(client->RecvPacket(100000), kUdpRecvTooLong);
}

TEST_F(UdpClientTest, FailedReceiveLeavesAZeroedBufferAndTheOldLength) {
  auto client = MakeClient();
  uint16_t clientPort = SendRequest(*client);
  ASSERT_TRUE(m_server.SendTo(clientPort, WireDatagram(0xC500, 1, "RETVALUE=0")));
  ASSERT_EQ(client->RecvPacket(1024), 0);
  ASSERT_EQ(client->m_RecvPacket.m_nLength, 30);
  const unsigned char zeroes[kUdpPacketSize] = {};

  // An empty datagram: the receive returns no bytes.
  ASSERT_TRUE(m_server.SendTo(clientPort, ""));
  EXPECT_EQ(client->RecvPacket(1024), kUdpRecvFailed);
  EXPECT_EQ(std::memcmp(client->m_RecvPacket.m_Buffer, zeroes, sizeof(zeroes)), 0);
  EXPECT_EQ(client->m_RecvPacket.m_nLength, 30);

  ASSERT_TRUE(m_server.SendTo(clientPort, WireDatagram(0xC500, 2, "RETVALUE=1")));
  ASSERT_EQ(client->RecvPacket(1024), 0);
  ASSERT_TRUE(m_server.SendTo(clientPort, Filler(1024)));
  EXPECT_EQ(client->RecvPacket(1024), kUdpRecvTooLong);
  EXPECT_EQ(std::memcmp(client->m_RecvPacket.m_Buffer, zeroes, sizeof(zeroes)), 0);
  EXPECT_EQ(client->m_RecvPacket.m_nLength, 30);
}

TEST_F(UdpClientTest, NoAnswerTimesOutAfterTheConfiguredWait) {
  auto client = MakeClient(1);
  SendRequest(*client);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client->RecvPacket(1024), kUdpRecvTimeOut);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 0.9);
  EXPECT_LT(seconds, 3.0);

  auto failing = MakeClient(-1);
  SendRequest(*failing);
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(failing->RecvPacket(1024), kUdpRecvTimeOut);
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 0.5);
}

// The engine reads answers on its own (hostile_udp_test); Unpack is the
// transport's reader.
TEST_F(UdpClientTest, UnpackRefusesDatagramsShorterThanAHeader) {
  auto client = MakeClient();
  uint16_t clientPort = SendRequest(*client);
  const std::string headerOnly = WireDatagram(0xC500, 3, "");
  ASSERT_TRUE(m_server.SendTo(clientPort, headerOnly.substr(0, 19)));
  ASSERT_EQ(client->RecvPacket(1024), 0);
  UDP_HEADER header{};
  int length = -1;
  unsigned char payload[kUdpPacketSize];
  EXPECT_EQ(client->m_RecvPacket.Unpack(&header, &length, payload), 1);
  EXPECT_EQ(length, -1);

  ASSERT_TRUE(m_server.SendTo(clientPort, headerOnly));
  ASSERT_EQ(client->RecvPacket(1024), 0);
  payload[0] = 'x';
  EXPECT_EQ(client->m_RecvPacket.Unpack(&header, &length, payload), 0);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(payload[0], '\0');
}
