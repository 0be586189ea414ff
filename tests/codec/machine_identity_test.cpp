#include "voka/codec/machine_identity.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/codec/machine_network.h"

namespace {

bool IsMacText(const std::string& text) {
  if (text.size() != 17) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i % 3 == 2) {
      if (c != '-') return false;
    } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
      return false;
    }
  }
  return true;
}

bool IsDottedIpv4(const std::string& text) {
  int parts = 0;
  size_t start = 0;
  while (true) {
    const size_t end = text.find('.', start);
    const std::string part = text.substr(start, end == std::string::npos ? end : end - start);
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos) return false;
    if (std::stoi(part) > 255) return false;
    ++parts;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts == 4;
}

// Calls one identity function into a buffer of exactly the documented size,
// followed by guard bytes that must stay untouched.
template <size_t kSize>
std::string CallWithGuard(void (*identity)(char*)) {
  char buffer[kSize + 8];
  std::memset(buffer, '#', sizeof buffer);
  identity(buffer);
  for (size_t i = kSize; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << "overrun at " << i;
  EXPECT_NE(std::memchr(buffer, '\0', kSize), nullptr);
  return std::string(buffer, strnlen(buffer, kSize));
}

// Empty only on a machine without such an interface, or whose host name
// resolves to no IPv4 address.
TEST(MachineIdentity, MacAddressIsThatOfOneOfTheMachinesInterfaces) {
  const std::string mac = CallWithGuard<18>(GetMacAddress);
  const std::set<std::string> macs = InterfaceMacTexts();
  EXPECT_TRUE(macs.empty() ? mac.empty() : IsMacText(mac) && macs.count(mac) == 1) << mac;
  EXPECT_EQ(CallWithGuard<18>(GetMacAddress), mac);
}

TEST(MachineIdentity, ClientIpIsOneOfTheMachinesAddresses) {
  const std::string ip = CallWithGuard<16>(GetClientIp);
  EXPECT_EQ(ip.empty(), HostNameIpv4Texts().empty()) << ip;
  EXPECT_TRUE(ip.empty() || (IsDottedIpv4(ip) && MachineIpv4Texts().count(ip) == 1)) << ip;
  EXPECT_EQ(CallWithGuard<16>(GetClientIp), ip);
}

TEST(MachineIdentity, NullBufferDoesNothing) {
  const std::string mac = CallWithGuard<18>(GetMacAddress);
  const std::string ip = CallWithGuard<16>(GetClientIp);
  GetMacAddress(nullptr);
  GetClientIp(nullptr);
  EXPECT_EQ(CallWithGuard<18>(GetMacAddress), mac);
  EXPECT_EQ(CallWithGuard<16>(GetClientIp), ip);
}

TEST(MachineIdentity, ConcurrentCallersSeeOneValue) {
  std::vector<std::string> macs(4), ips(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < 4; ++t) {
    threads.emplace_back([t, &macs, &ips] {
      char buffer[128];
      GetMacAddress(buffer);
      macs[t] = buffer;
      GetClientIp(buffer);
      ips[t] = buffer;
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 1; t < 4; ++t) {
    EXPECT_EQ(macs[t], macs[0]);
    EXPECT_EQ(ips[t], ips[0]);
  }
}

}  // namespace
