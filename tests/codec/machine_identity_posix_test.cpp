#include <gtest/gtest.h>

#include <string>

#include "tests/codec/machine_network.h"
#include "voka/codec/machine_identity.h"

namespace {

// A working adapter wins over virtual and idle ones; machine_identity_test
// checks that the address is one of the machine's in any case.
TEST(MachineIdentityPosix, MacIsThatOfTheFirstInterfaceThatIsUpAndBackedByADevice) {
  char buffer[128];
  GetMacAddress(buffer);
  for (const auto& [index, interface] : LinuxInterfacesByIndex()) {
    if (!interface.upWithDevice) continue;
    EXPECT_EQ(std::string(buffer), interface.mac) << "interface " << index;
    return;
  }
}

}  // namespace
