#include <gtest/gtest.h>

#include <string>

#include "codec/machine_identity.h"
#include "tests/codec/machine_network.h"

namespace {

// Holds whether the choice prefers interfaces that are up and backed by a
// device or goes by the lowest index alone; machine_identity_test checks
// that the address is one of the machine's.
TEST(MachineIdentityPosix, NoInterfaceBeforeTheChosenOneIsUpAndBackedByADevice) {
  char buffer[128];
  GetMacAddress(buffer);
  for (const auto& [index, interface] : LinuxInterfacesByIndex()) {
    if (interface.mac == buffer) return;
    EXPECT_FALSE(interface.upWithDevice) << "interface " << index << " comes before " << buffer;
  }
}

}  // namespace
