// Traffic and shared-line checks on links and bridges of network namespaces the tests build.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <vector>

#include "auto/environment_checks.h"
#include "auto/network_status_binding.h"
#include "core/data_base.h"
#include "netns_topology.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kPackets = 1024;
constexpr int kPayload = 1024;  // 1 MiB in all
// A UDP datagram on the wire: payload, UDP, IPv4 and Ethernet headers.
constexpr uint64_t kFrameBytes = kPayload + 8 + 20 + 14;

class EnvironmentNetnsTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist(netstatus::kLibraryName);
    if (!m_net.Available()) GTEST_SKIP() << "network namespaces unavailable: " << m_net.Error();
    CDataBase::Instance().Reset();
    m_timings = GetCheckTimings();
    m_sources = GetCheckSources();
    CheckTimings fast = m_timings;
    fast.trafficStep = 250ms;
    fast.probeStagger = 5ms;
    SetCheckTimings(fast);
    fs::create_directories(At("sys-class-net"));
    CheckSources sources = m_sources;
    sources.sysClassNet = At("sys-class-net") + "/";
    // As on Debian: the host name stands for 127.0.1.1.
    sources.hostAddresses = [] { return std::vector<std::string>{"127.0.1.1"}; };
    SetCheckSources(sources);
    Write("Config\\threshold_config.xml",
          "<t><CPUThreshold><value>100</value></CPUThreshold>"
          "<MemoryThreshold><value>100</value></MemoryThreshold></t>");
  }
  void TearDown() override {
    SetCheckTimings(m_timings);
    SetCheckSources(m_sources);
    CDataBase::Instance().Reset();
    ProgramFolderTest::TearDown();
  }

  // Namespaces joined by a bridge in a namespace of its own; each host gets `address` on its
  // end of a veth pair whose other end is a bridge port.
  void Bridge() {
    m_net.AddNamespace("sw");
    m_net.Ip("sw", {"link", "add", "br0", "type", "bridge"});
    m_net.Ip("sw", {"link", "set", "br0", "up"});
  }
  std::string Host(const std::string& role, const std::string& address) {
    m_net.AddNamespace(role);
    auto [hostEnd, portEnd] = m_net.Link(role, address, "sw", "");
    m_net.Ip("sw", {"link", "set", portEnd, "master", "br0"});
    return hostEnd;
  }

  SharedLineMeasure ProbeFrom(const std::string& role) {
    SharedLineMeasure measure;
    EXPECT_TRUE(m_net.RunIn(role, [&] { measure = MeasureSharedLine([] { return true; }); }));
    return measure;
  }

  NetnsTopology m_net;
  CheckTimings m_timings;
  CheckSources m_sources;
};

void SendMegabyte(const std::string& to) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(9999);
  inet_pton(AF_INET, to.c_str(), &address.sin_addr);
  std::vector<char> payload(kPayload, 'x');
  for (int i = 0; i < kPackets; ++i) {
    ASSERT_EQ(sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&address),
                     sizeof address),
              kPayload);
  }
  close(fd);
}

TEST_F(EnvironmentNetnsTest, QuietLinkPassesAndAMegabyteAcrossItFires) {
  for (const char* role : {"a", "b"}) {
    m_net.AddNamespace(role);
    // No router solicitations or neighbour discovery on a quiet link.
    m_net.Sysctl(role, "net.ipv6.conf.all.disable_ipv6=1");
    m_net.Sysctl(role, "net.ipv6.conf.default.disable_ipv6=1");
  }
  m_net.Link("a", "198.18.40.1/24", "b", "198.18.40.2/24");
  // The far end listens, so that nothing comes back but the neighbour's answer.
  m_net.Ip("b", {"neigh", "flush", "all"});
  ASSERT_FALSE(m_net.Failed()) << m_net.Error();
  int listener = -1;
  ASSERT_TRUE(m_net.RunIn("b", [&] {
    listener = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(9999);
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int size = 4 << 20;
    setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  }));

  int quiet = -1;
  TrafficMeasure measure;
  int loud = -1;
  ASSERT_TRUE(m_net.RunIn("a", [&] {
    CPerformanceCollector collector;
    quiet = CheckResources(collector, [] { return true; });
    // The megabyte goes out between the first and the second step of the interval.
    int calls = 0;
    auto sendOnce = [&] {
      if (++calls == 2) SendMegabyte("198.18.40.2");
      return true;
    };
    measure = MeasureTraffic(sendOnce);
    calls = 0;
    loud = CheckResources(collector, sendOnce);
  }));
  close(listener);

  EXPECT_EQ(quiet, verdict::kSuitable);
  EXPECT_EQ(loud, verdict::kTraffic);
  EXPECT_EQ(ReasonText(verdict::kTraffic), "网卡流量 > 0KB/s");
  ASSERT_TRUE(measure.read);
  EXPECT_FALSE(measure.stopped);
  // Divided by the time measured (four steps), not by a fixed five seconds.
  EXPECT_GE(measure.seconds, 1.0);
  EXPECT_LT(measure.seconds, 2.0);
  const double expectedOut = static_cast<double>(kPackets * kFrameBytes) / 1024 / measure.seconds;
  EXPECT_NEAR(measure.outKBps, expectedOut, expectedOut * 0.05);
  // Only the neighbour's answer came back.
  EXPECT_LT(measure.received, 200u);
}

TEST_F(EnvironmentNetnsTest, ThirdHostOnTheLanMakesTheLineShared) {
  Bridge();
  Host("me", "10.55.0.2/24");
  Host("gw", "10.55.0.1/24");
  const std::string thirdEnd = Host("third", "10.55.0.77/24");
  m_net.Route("me", {"default", "via", "10.55.0.1"});
  ASSERT_FALSE(m_net.Failed()) << m_net.Error();
  CheckTimings all = GetCheckTimings();
  all.probeBatch = 254;  // one batch: the silent addresses time out together
  SetCheckTimings(all);

  SharedLineMeasure measure = ProbeFrom("me");
  // The host name's loopback address is not taken; the adapter's is.
  EXPECT_EQ(measure.ownAddress, "10.55.0.2");
  EXPECT_EQ(measure.candidates, 254u);
  EXPECT_EQ(measure.responders, (std::vector<std::string>{"10.55.0.1", "10.55.0.2", "10.55.0.77"}));
  EXPECT_EQ(measure.verdict, verdict::kSharedLine);
  EXPECT_EQ(ReasonText(verdict::kSharedLine), "多机上网");

  // The third host goes: only the machine and its gateway answer, the line is not shared.
  ASSERT_TRUE(m_net.Ip("third", {"link", "set", thirdEnd, "down"}));
  measure = ProbeFrom("me");
  EXPECT_EQ(measure.responders, (std::vector<std::string>{"10.55.0.1", "10.55.0.2"}));
  EXPECT_EQ(measure.verdict, verdict::kSuitable);
}

TEST_F(EnvironmentNetnsTest, SmallSubnetIsProbedAloneAndInOneBatch) {
  Bridge();
  Host("me", "10.56.0.2/28");
  Host("gw", "10.56.0.1/28");
  // Past the /28's edge, on the same wire: another customer, never probed.
  Host("other", "10.56.0.40/24");
  m_net.Route("me", {"default", "via", "10.56.0.1"});
  ASSERT_FALSE(m_net.Failed()) << m_net.Error();

  const auto start = std::chrono::steady_clock::now();
  SharedLineMeasure measure = ProbeFrom("me");
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(measure.candidates, 14u);
  EXPECT_EQ(measure.batches, 1u);
  EXPECT_EQ(measure.responders, (std::vector<std::string>{"10.56.0.1", "10.56.0.2"}));
  EXPECT_EQ(measure.verdict, verdict::kSuitable);
  // One batch of silent addresses: about one ping's time-outs.
  EXPECT_LT(took, 20.0);
}

TEST_F(EnvironmentNetnsTest, PointToPointLinkIsNeverShared) {
  m_net.AddNamespace("me");
  m_net.AddNamespace("peer");
  auto [mine, theirs] = m_net.Link("me", "10.57.0.2/32", "peer", "10.57.0.1/24");
  m_net.Route("me", {"10.57.0.1", "dev", mine});
  m_net.Route("me", {"default", "via", "10.57.0.1"});
  ASSERT_FALSE(m_net.Failed()) << m_net.Error();

  SharedLineMeasure measure = ProbeFrom("me");
  EXPECT_TRUE(measure.pointToPoint);
  EXPECT_EQ(measure.mask, "255.255.255.255");
  EXPECT_EQ(measure.candidates, 0u);
  EXPECT_EQ(measure.batches, 0u);  // no echo request went out
  EXPECT_EQ(measure.verdict, verdict::kSuitable);
  int verdict = -1;
  ASSERT_TRUE(m_net.RunIn("me", [&] { verdict = CheckSharedLine([] { return true; }); }));
  EXPECT_EQ(verdict, verdict::kSuitable);
}

}  // namespace
