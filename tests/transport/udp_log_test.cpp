// The diagnostic log: exact lines, appended in whole groups, restarted past 1 MiB.
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/transport/udp_log_file.h"
#include "tests/transport/udp_test_fixture.h"

namespace {

std::string SendLine(const std::string& ip, uint16_t port, socket_t socket) {
  return "[Send]\t\tszremoteIP=" + ip + "^$^port=" + std::to_string(port) +
         "^$^socket=" + std::to_string(static_cast<int>(socket)) + "\r\n";
}

// "[Send]" line to 127.0.0.1 and this port, with nothing else mixed in.
bool IsWholeSendLine(const std::string& line, const std::string& portText) {
  const std::string prefix = "[Send]\t\tszremoteIP=127.0.0.1^$^port=" + portText + "^$^socket=";
  if (line.compare(0, prefix.size(), prefix) != 0 || line.size() == prefix.size()) return false;
  return line.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

}  // namespace

TEST_F(UdpClientTest, SendAndTimeOutLinesAreAppendedInTheirFormats) {
  WriteUdpLog("earlier content that must survive\r\n");
  auto client = MakeClient(1);
  SendRequest(*client);
  SendRequest(*client);
  ASSERT_EQ(client->RecvPacket(1024), kUdpRecvTimeOut);

  std::string log = ReadUdpLog();
  EXPECT_EQ(log.rfind("earlier content that must survive\r\n", 0), 0u);
  const std::string send = SendLine("127.0.0.1", m_server.Port(), client->m_RSSocket);
  const std::string socket = std::to_string(static_cast<int>(client->m_RSSocket));
  const std::string timeOut = "[Recv]\t\tm_nTimeOut=1000(million second)^$^socket=" + socket +
                              "^$^WSAGetLastError=0\r\n[Recv]\t\t!FD_ISSET(m_RSSocket, &fd)^$^socket=" + socket +
                              "\r\n";
  size_t first = log.find(send);
  ASSERT_NE(first, std::string::npos);
  size_t second = log.find(send, first + send.size());
  ASSERT_NE(second, std::string::npos);
  EXPECT_NE(log.find(timeOut, second), std::string::npos);
}

TEST_F(UdpClientTest, LogRestartsOncePastOneMebibyte) {
  const std::string filler = std::string(98, 'x') + "\r\n";
  std::string exactlyOneMebibyte;
  while (exactlyOneMebibyte.size() < static_cast<size_t>(kUdpLogRestartSize)) exactlyOneMebibyte += filler;
  exactlyOneMebibyte.resize(kUdpLogRestartSize);
  auto client = MakeClient();

  WriteUdpLog(exactlyOneMebibyte);
  SendRequest(*client);
  std::string log = ReadUdpLog();
  EXPECT_GT(log.size(), exactlyOneMebibyte.size());
  EXPECT_EQ(log.compare(0, exactlyOneMebibyte.size(), exactlyOneMebibyte), 0);

  SendRequest(*client);
  log = ReadUdpLog();
  EXPECT_LT(log.size(), 1000u);
  EXPECT_EQ(log.rfind(SendLine("127.0.0.1", m_server.Port(), client->m_RSSocket), 0), 0u);
  EXPECT_EQ(log.find(filler), std::string::npos);
}

TEST_F(UdpClientTest, AddressTextIsCutAt259CharactersAndEscaped) {
  const std::string address(300, '7');
  auto client = MakeClient();
  long logSize = UdpLogSize();
  CUDPPacket packet;
  UDP_HEADER header{};
  ASSERT_EQ(packet.Pack(header, 1, reinterpret_cast<const unsigned char*>("a")), 0);
  EXPECT_EQ(client->SendPacket(&packet, packet.m_nLength, address.c_str(), 8025), -1);
  std::string line = "[Send]\t\tszremoteIP=" + address;
  line.resize(kUdpLogLineMax);
  std::string appended = ReadUdpLog(logSize);
  size_t at = appended.find(line);
  ASSERT_NE(at, std::string::npos);
  EXPECT_NE(appended.substr(at + line.size(), 1), "7");

  // Control bytes in the caller's address cannot forge a line of their own.
  logSize = UdpLogSize();
  const std::string forged = "1.2.3.4\r\n[Send]\t\tszremoteIP=6.6.6.6";
  EXPECT_EQ(client->SendPacket(&packet, packet.m_nLength, forged.c_str(), 8025), -1);
  EXPECT_NE(ReadUdpLog(logSize).find("szremoteIP=1.2.3.4\\x0D\\x0A[Send]\\x09\\x09szremoteIP=6.6.6.6^$^port=8025"),
            std::string::npos);
}

TEST_F(UdpClientTest, ConcurrentSendsKeepDistinctSequencesAndWholeLines) {
  constexpr int kThreads = 4;
  constexpr int kSendsPerThread = 50;
  UdpPeer counter([](UdpPeer&, int, const sockaddr_in&) {});
  long logSize = UdpLogSize();

  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&counter] {
      for (int i = 0; i < kSendsPerThread; ++i) {
        auto client = std::make_unique<CUDPServer>("127.0.0.1", counter.PortText().c_str(), "TEVUDPServer", 1);
        CUDPPacket packet;
        UDP_HEADER header{};
        header.wCommand = 0x5300;
        packet.Pack(header, 4, reinterpret_cast<const unsigned char*>("ping"));
        int error = 0;
        client->SendToServer(&packet, packet.m_nLength, &error);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int wait = 0; wait < 100 && counter.RequestCount() < kThreads * kSendsPerThread; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  std::set<std::string> sequences;
  for (const std::string& datagram : counter.Requests()) sequences.insert(datagram.substr(6, 4));
  EXPECT_EQ(sequences.size(), static_cast<size_t>(kThreads * kSendsPerThread));

  const std::string port = "^$^port=" + counter.PortText() + "^$^";
  int ours = 0;
  for (const std::string& line : Lines(ReadUdpLog(logSize))) {
    if (line.find(port) == std::string::npos) continue;
    ++ours;
    EXPECT_TRUE(IsWholeSendLine(line, counter.PortText())) << line;
  }
  EXPECT_EQ(ours, kThreads * kSendsPerThread);
}
