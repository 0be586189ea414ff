// Where the diagnostic log lives on Linux: $VOKA_UDP_LOG, else
// $TMPDIR/TevUdpServer.log, else /tmp/TevUdpServer.log; and which file there
// it writes to.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
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

// Another user can plant a link or a file of their own under the log's name
// in a shared folder; neither is written to.
TEST(UdpLogFile, WritesOnlyItsOwnRegularFileAndNeverFollowsALink) {
  char folder[] = "/tmp/voka-log-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string victim = std::string(folder) + "/victim";
  const std::string log = std::string(folder) + "/TevUdpServer.log";
  { std::ofstream(victim) << "precious"; }
  ASSERT_EQ(symlink(victim.c_str(), log.c_str()), 0);

  EXPECT_FALSE(WriteUdpLogFile(log, "[Send]\r\n"));
  unlink(log.c_str());
  ASSERT_EQ(link(victim.c_str(), log.c_str()), 0);
  EXPECT_FALSE(WriteUdpLogFile(log, "[Send]\r\n"));
  std::ifstream kept(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "precious");

  // A file of another user, which only root can make here.
  unlink(log.c_str());
  { std::ofstream(log) << "theirs"; }
  if (chown(log.c_str(), 65534, 65534) == 0) {
    EXPECT_FALSE(WriteUdpLogFile(log, "[Send]\r\n"));
    std::ifstream theirs(log);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(theirs), {}), "theirs");
  }
  unlink(log.c_str());
  EXPECT_TRUE(WriteUdpLogFile(log, "[Send]\r\n"));
  struct stat status;
  ASSERT_EQ(stat(log.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  unlink(log.c_str());
  unlink(victim.c_str());
  rmdir(folder);
}
