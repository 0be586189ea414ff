// Initialize: splitting "host:port", resolving the host, what it resets.
#include <gtest/gtest.h>

#include <string>

#include "voka/client_authen.h"
#include "voka/codec/machine_identity.h"
#include "voka/transport/socket_shim.h"

namespace {

bool IsDottedIpv4(const std::string& text) {
  in_addr address;
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

std::string LocalClientIp() {
  char ip[128] = {};
  GetClientIp(ip);
  return ip;
}

TEST(Initialize, SplitsHostAndPortAtTheFirstColon) {
  CClientAuthen engine;
  EXPECT_EQ(engine.Initialize("10.0.0.5:8025", "http://b"), 0);
  EXPECT_EQ(engine.UdpHost(), "10.0.0.5");
  EXPECT_EQ(engine.UdpPort(), "8025");
  EXPECT_EQ(engine.TcpServer(), "http://b");

  engine.Initialize("10.0.0.5", "");
  EXPECT_EQ(engine.UdpHost(), "10.0.0.5");
  EXPECT_EQ(engine.UdpPort(), "");

  // An unresolvable name stays as text; the port keeps further colons.
  engine.Initialize("no-such-host.invalid:b:c", "");
  EXPECT_EQ(engine.UdpHost(), "no-such-host.invalid");
  EXPECT_EQ(engine.UdpPort(), "b:c");

  engine.Initialize("localhost:1", "");
  EXPECT_EQ(engine.UdpHost(), "127.0.0.1");
  EXPECT_EQ(engine.UdpPort(), "1");
}

TEST(Initialize, EmptyHostBecomesTheLocalComputersFirstAddress) {
  CClientAuthen engine;
  engine.Initialize(":8025", "");
  EXPECT_TRUE(IsDottedIpv4(engine.UdpHost())) << engine.UdpHost();
  EXPECT_EQ(engine.UdpPort(), "8025");
  // The client IP that the static login reports follows the same rule.
  EXPECT_EQ(engine.UdpHost(), LocalClientIp());

  engine.Initialize("", "");
  EXPECT_TRUE(IsDottedIpv4(engine.UdpHost())) << engine.UdpHost();
  EXPECT_EQ(engine.UdpPort(), "");
}

TEST(Initialize, ReplacesEndpointsAndEmptiesTheMapOnly) {
  CClientAuthen engine;
  EXPECT_TRUE(engine.UsesUdp());
  EXPECT_EQ(engine.UdpTimeOut(), 10);
  const std::string answer = "RETVALUE=0";
  engine.ParseAnswer(answer.c_str(), answer.size() + 1);
  engine.Initialize("1.2.3.4:5", "http://first");
  EXPECT_TRUE(engine.Results().empty());
  engine.ParseAnswer(answer.c_str(), answer.size() + 1);
  engine.Initialize("5.6.7.8:9", "http://second");
  EXPECT_TRUE(engine.Results().empty());
  EXPECT_EQ(engine.UdpHost(), "5.6.7.8");
  EXPECT_EQ(engine.UdpPort(), "9");
  EXPECT_EQ(engine.TcpServer(), "http://second");
  EXPECT_TRUE(engine.UsesUdp());
  EXPECT_EQ(engine.Guid(), "");
  // A CR LF would add a header to every HTTP request: refused, nothing changes.
  const char* refused[][2] = {{"1.2.3.4:5", "http://a/\r\nX-Injected: yes"}, {"1.2.3.4:\x7F", "http://a"}};
  for (const auto& endpoints : refused) {
    EXPECT_EQ(engine.Initialize(endpoints[0], endpoints[1]), AUTHEN_E_FAIL);
    EXPECT_EQ(engine.TcpServer(), "http://second");
    EXPECT_EQ(engine.UdpPort(), "9");
  }
}

}  // namespace
