#include "codec/machine_identity.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string ReadLine(const std::filesystem::path& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

// The rule, read from sysfs: not a loopback, with a six-byte hardware
// address; up and backed by a device if any such is, then lowest index.
std::string MacFromSysfs() {
  long bestIndex = -1;
  bool bestIsReal = false;
  std::string bestAddress;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net")) {
    if (ReadLine(entry.path() / "addr_len") != "6") continue;
    const long flags = std::stol(ReadLine(entry.path() / "flags"), nullptr, 16);
    if (flags & IFF_LOOPBACK) continue;
    const bool real = (flags & IFF_UP) != 0 && std::filesystem::exists(entry.path() / "device");
    const long index = std::stol(ReadLine(entry.path() / "ifindex"));
    if (bestIndex >= 0 && (real != bestIsReal ? !real : index > bestIndex)) continue;
    bestIndex = index;
    bestIsReal = real;
    bestAddress = ReadLine(entry.path() / "address");
  }
  std::replace(bestAddress.begin(), bestAddress.end(), ':', '-');
  std::transform(bestAddress.begin(), bestAddress.end(), bestAddress.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return bestAddress;
}

std::string FirstIpv4OfHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* answer = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &answer) != 0) return "";
  char dotted[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(answer->ai_addr)->sin_addr, dotted,
            sizeof dotted);
  freeaddrinfo(answer);
  return dotted;
}

TEST(MachineIdentityPosix, MacIsTheLowestIndexedInterfaceThatIsUpAndNotVirtual) {
  char buffer[128];
  GetMacAddress(buffer);
  EXPECT_EQ(std::string(buffer), MacFromSysfs());
}

TEST(MachineIdentityPosix, IpIsTheFirstAddressOfTheHostName) {
  char buffer[128];
  GetClientIp(buffer);
  EXPECT_EQ(std::string(buffer), FirstIpv4OfHostName());
}

}  // namespace
