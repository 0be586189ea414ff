// The identity caches, with look-ups that count their calls and answer what
// the test says: the real look-ups are tested against the machine elsewhere.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "codec/machine_identity_lookup.h"
#include "voka/codec/machine_identity.h"

namespace {

int g_macLookUps = 0;
int g_ipLookUps = 0;
std::string g_macAnswer;
std::string g_ipAnswer;

}  // namespace

std::string LookUpMacAddress() {
  ++g_macLookUps;
  return g_macAnswer;
}

std::string LookUpClientIp() {
  ++g_ipLookUps;
  return g_ipAnswer;
}

namespace {

std::string Mac() {
  char buffer[128];
  std::memset(buffer, '#', sizeof buffer);
  GetMacAddress(buffer);
  return buffer;
}

std::string Ip() {
  char buffer[128];
  std::memset(buffer, '#', sizeof buffer);
  GetClientIp(buffer);
  return buffer;
}

// One test, since the caches live as long as the process.
TEST(IdentityCache, EmptyAnswersAreRetriedAndTheFirstFoundIsKept) {
  GetMacAddress(nullptr);
  GetClientIp(nullptr);
  EXPECT_EQ(g_macLookUps, 0);
  EXPECT_EQ(g_ipLookUps, 0);

  // Nothing found: an empty text, and the next call looks again.
  EXPECT_EQ(Mac(), "");
  EXPECT_EQ(Ip(), "");
  EXPECT_EQ(Mac(), "");
  EXPECT_EQ(Ip(), "");
  EXPECT_EQ(g_macLookUps, 2);
  EXPECT_EQ(g_ipLookUps, 2);

  g_macAnswer = "00-1A-2B-3C-4D-5E";
  g_ipAnswer = "192.0.2.17";
  EXPECT_EQ(Mac(), "00-1A-2B-3C-4D-5E");
  EXPECT_EQ(Ip(), "192.0.2.17");

  // Found once: handed out unchanged, however the machine changes.
  g_macAnswer = "66-77-88-99-AA-BB";
  g_ipAnswer = "198.51.100.2";
  for (int call = 0; call < 3; ++call) {
    EXPECT_EQ(Mac(), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(Ip(), "192.0.2.17");
  }
  GetMacAddress(nullptr);
  GetClientIp(nullptr);
  EXPECT_EQ(g_macLookUps, 3);
  EXPECT_EQ(g_ipLookUps, 3);
}

}  // namespace
