// Where the diagnostic log lives on Linux: $VOKA_UDP_LOG, else
// $TMPDIR/TevUdpServer.log, else /tmp/TevUdpServer.log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "transport/udp_log.h"

namespace {

// Restores one environment variable when it leaves scope.
class SavedVariable {
 public:
  explicit SavedVariable(const char* name) : m_name(name) {
    const char* value = std::getenv(name);
    m_wasSet = value != nullptr;
    if (value != nullptr) m_value = value;
  }
  ~SavedVariable() {
    if (m_wasSet) {
      setenv(m_name.c_str(), m_value.c_str(), 1);
    } else {
      unsetenv(m_name.c_str());
    }
  }

 private:
  std::string m_name;
  bool m_wasSet = false;
  std::string m_value;
};

}  // namespace

TEST(UdpLogPath, EnvironmentChoosesTheFileThenTheDirectory) {
  SavedVariable log("VOKA_UDP_LOG");
  SavedVariable directory("TMPDIR");

  setenv("VOKA_UDP_LOG", "/var/tmp/chosen.log", 1);
  setenv("TMPDIR", "/srv/scratch", 1);
  EXPECT_EQ(UdpLogPath(), "/var/tmp/chosen.log");

  setenv("VOKA_UDP_LOG", "", 1);
  EXPECT_EQ(UdpLogPath(), "/srv/scratch/TevUdpServer.log");
  unsetenv("VOKA_UDP_LOG");
  EXPECT_EQ(UdpLogPath(), "/srv/scratch/TevUdpServer.log");

  unsetenv("TMPDIR");
  EXPECT_EQ(UdpLogPath(), "/tmp/TevUdpServer.log");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(UdpLogPath(), "/tmp/TevUdpServer.log");
}
