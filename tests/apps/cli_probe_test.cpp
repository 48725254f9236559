// kestrane-cli ping and trace run as processes: the record printed, the exit status, and across
// network namespaces the test builds itself.

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <sys/wait.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "../auto/netns_topology.h"
#include "test_support.h"

namespace {

std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(text.substr(start, at - start));
  EXPECT_EQ(start, text.size()) << "text after the last CR LF";
  return lines;
}

class CliProbe : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("libNetworkStatus.so");
    Write("conf/l_c_config_01.properties", "uname=x\nuserid=20001\n");
  }

  // Runs the CLI (inside a namespace when given); the exit status goes to *status.
  std::string Run(const std::string& args, int* status, const std::string& netns = {}) {
    std::string command = "timeout 120 ";
    if (!netns.empty()) command += "ip netns exec " + netns + " ";
    command +=
        "'" + testsupport::DistPath("kestrane-cli") + "' --folder '" + m_folder + "' " + args;
    int raw = 0;
    std::string out = testsupport::CommandOutput(command + " 2>/dev/null", &raw);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
  }
};

}  // namespace

TEST_F(CliProbe, PingPrintsTheRecordAndWritesNothing) {
  const std::string list = "cd '" + m_folder + "' && find . | sort";
  const std::string before = testsupport::CommandOutput(list);
  int status = -1;
  const std::string out = Run("ping 127.0.0.1 --count 2 --id 42", &status);
  EXPECT_EQ(status, 0) << out;
  const auto lines = CrLfLines(out);
  ASSERT_EQ(lines.size(), 12u + 4 + 6) << out;  // head, four replies, statistics and end
  const std::vector<std::string> head = {"+++BEGIN",
                                         "[scamper, -c, ping -c 10, -i, 127.0.0.1",
                                         "",  // datetime
                                         "description:",
                                         "iMissionId=1843",
                                         "iMiaaionTypeId=2",
                                         "iNeId=42",
                                         "iMonitorId=20001",
                                         "iMissionType=9",
                                         "metype=0",
                                         "content:",
                                         "ping 127.0.0.1 to 127.0.0.1:"};
  for (size_t i = 0; i < head.size(); ++i)
    if (i != 2 && i != 11) {
      EXPECT_EQ(lines[i], head[i]);
    }
  EXPECT_TRUE(std::regex_match(lines[11],
                               std::regex(R"(ping 127\.0\.0\.1 to 127\.0\.0\.1:\d+ byte packets)")))
      << lines[11];
  EXPECT_TRUE(
      std::regex_match(lines[2], std::regex(R"(datetime : \d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")))
      << lines[2];
  for (size_t i = 12; i < 16; ++i)
    EXPECT_TRUE(std::regex_match(
        lines[i],
        std::regex(R"(\d+ bytes from 127\.0\.0\.1: icmp_seq=\d ttl=64 time=\d+\.\d{3} ms)")))
        << lines[i];
  EXPECT_EQ(lines[16], "--- 127.0.0.1 ping statistics ---");
  EXPECT_EQ(lines[17], "4 packets transmitted,4 packets received, 0% packet loss");
  EXPECT_TRUE(std::regex_match(
      lines[18],
      std::regex(
          R"(round-trip min/avg/max/stddev = \d+\.\d{3}/\d+\.\d{3}/\d+\.\d{3}/\d+\.\d{3} ms)")))
      << lines[18];
  EXPECT_EQ(lines[19], "");
  EXPECT_EQ(lines[20], "[root@collect20001 ~]#");
  EXPECT_EQ(lines[21], "---END");
  EXPECT_EQ(testsupport::CommandOutput(list), before);

  const std::string json = Run("ping 127.0.0.1 --json", &status);
  EXPECT_EQ(status, 0);
  rapidjson::Document doc;
  ASSERT_FALSE(doc.Parse(json.c_str()).HasParseError()) << json;
  EXPECT_EQ(doc["success"].GetInt(), 1);
  EXPECT_EQ(doc["transmitted"].GetInt(), 4);
  EXPECT_EQ(doc["lines"].Size(), 4u);
  EXPECT_LE(doc["min"].GetDouble(), doc["max"].GetDouble());

  // Without the probe library nothing is probed: exit 3.
  std::remove(At("libNetworkStatus.so").c_str());
  Run("trace 127.0.0.1", &status);
  EXPECT_EQ(status, 3);
  Run("ping", &status);
  EXPECT_EQ(status, 1);
}

TEST_F(CliProbe, TraceAcrossRoutersAndAnUnreachableHost) {
  NetnsTopology net;
  if (!net.Available()) GTEST_SKIP() << "network namespaces unavailable: " << net.Error();
  for (const char* role : {"s", "r1", "r2", "d", "lone"}) net.AddNamespace(role);
  net.Link("s", "198.18.1.2/24", "r1", "198.18.1.1/24");
  net.Link("r1", "198.18.2.1/24", "r2", "198.18.2.2/24");
  net.Link("r2", "198.18.3.1/24", "d", "198.18.3.2/24");
  net.Route("s", {"default", "via", "198.18.1.1"});
  net.Route("r1", {"default", "via", "198.18.2.2"});
  net.Route("r2", {"198.18.1.0/24", "via", "198.18.2.1"});
  net.Route("d", {"default", "via", "198.18.3.1"});
  for (const char* router : {"r1", "r2"}) {
    net.Forwarding(router);
    net.Sysctl(router, "net.ipv4.icmp_ratelimit=0");
  }
  ASSERT_FALSE(net.Failed()) << net.Error();

  int status = -1;
  const std::string out = Run("trace 198.18.3.2 --hops 10 --id 3", &status, net.Name("s"));
  EXPECT_EQ(status, 0) << out;
  const auto lines = CrLfLines(out);
  ASSERT_EQ(lines.size(), 12u + 3 + 3) << out;
  EXPECT_EQ(lines[1], "scamper -c trace -P TCP -M -l 5 -i 198.18.3.2");
  EXPECT_EQ(lines[6], "iNeId=3");
  EXPECT_EQ(lines[11], "traceroute from 198.18.1.2 to 198.18.3.2");
  const char* hops[] = {"198.18.1.1", "198.18.2.2", "198.18.3.2"};
  for (size_t i = 0; i < 3; ++i)
    EXPECT_TRUE(std::regex_match(lines[12 + i],
                                 std::regex(std::to_string(i + 1) + "  " +
                                            std::regex_replace(hops[i], std::regex("\\."), "\\.") +
                                            R"((  \d+\.\d{3} ms){3})")))
        << lines[12 + i];
  EXPECT_EQ(lines[15], "");
  EXPECT_EQ(lines[16], "[root@collect20001 ~]#");

  Run("ping 198.18.9.9", &status, net.Name("lone"));
  EXPECT_EQ(status, 3);
}
