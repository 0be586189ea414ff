// Thousands of logins through one process against the reference server, half
// over UDP and half over HTTP, each with an engine of its own as the COM
// object has: the process must not gain file descriptors or memory.
// VOKA_ENDURANCE_LOGINS sets the count (default 300); run under
// with_voka_server.sh, which provides VOKA_TEST_UDP and VOKA_TEST_HTTP.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/endurance/process_usage.h"
#include "tests/peers/udp_peer.h"
#include "tests/peers/wire_datagram.h"
#include "voka/client_authen.h"
#include "voka/protocol/request_kinds.h"

namespace {

constexpr size_t kWarmUpLogins = 50;
constexpr size_t kDefaultLogins = 300;
constexpr size_t kFdSlack = 2;
constexpr size_t kResidentSlackBytes = 4u << 20;

std::string Environment(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

struct Endpoints {
  std::string udp = Environment("VOKA_TEST_UDP", "");
  std::string http = Environment("VOKA_TEST_HTTP", "");
};

// One login as a front end makes it: dynamic key, then account login.
void Login(const Endpoints& server, const std::string& udp, bool overHttp) {
  CClientAuthen engine;
  engine.Initialize(udp.c_str(), server.http.c_str());
  engine.SetUdpTimeOut(5);
  ASSERT_EQ(engine.GetDynamicKey("endurance"), 0);
  ASSERT_FALSE(engine.Guid().empty());
  ASSERT_EQ(engine.UsesUdp(), !overHttp);
  ASSERT_EQ(engine.StaticAuthen("alice", "alice-pass", "app", "area", "", "endurance"), 0);
  std::string value;
  ASSERT_EQ(engine.GetValue("retvalue", value), 0);
  ASSERT_EQ(value, "0");
}

TEST(LoginEndurance, SequentialLoginsHoldNoDescriptorsOrMemory) {
  Endpoints server;
  ASSERT_FALSE(server.udp.empty()) << "run under with_voka_server.sh";
  const std::string count = Environment("VOKA_ENDURANCE_LOGINS", "");
  const size_t logins = count.empty() ? kDefaultLogins : std::strtoul(count.c_str(), nullptr, 10);
  ASSERT_GT(logins, kWarmUpLogins);

  // Turns every UDP dynamic-key request away, so that those logins fall back
  // to the reference server's HTTP side.
  UdpPeer refusing([](UdpPeer& peer, int, const sockaddr_in& client) {
    const std::string refusal("RETVALUE=-10332102\0", 19);
    peer.Send(AnswerDatagram(refusal, RowOf(RequestKind::kDynamicKey).udpCommand), client);
  });

  size_t fdsAfterWarmUp = 0, residentAfterWarmUp = 0;
  for (size_t i = 0; i < logins; ++i) {
    const bool overHttp = i % 2 == 1;
    Login(server, overHttp ? refusing.Endpoint() : server.udp, overHttp);
    if (HasFatalFailure()) {
      ADD_FAILURE() << "login " << i << " failed";
      return;
    }
    if (i + 1 == kWarmUpLogins) {
      fdsAfterWarmUp = OpenFileDescriptors();
      residentAfterWarmUp = ResidentBytes();
    }
  }
  const size_t fds = OpenFileDescriptors();
  const size_t resident = ResidentBytes();
  std::printf(
      "logins=%zu fds: %zu after %zu logins, %zu at the end; "
      "resident KiB: %zu after %zu logins, %zu at the end\n",
      logins, fdsAfterWarmUp, kWarmUpLogins, fds, residentAfterWarmUp >> 10, kWarmUpLogins, resident >> 10);

  EXPECT_LE(fds, fdsAfterWarmUp + kFdSlack);
  if (kResidentMemoryIsMeaningful) {
    EXPECT_LE(resident, residentAfterWarmUp + kResidentSlackBytes);
  }
}

}  // namespace
