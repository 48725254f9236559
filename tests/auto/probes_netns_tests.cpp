// Probes across routers: network namespaces joined by veth pairs, addresses of 198.18.0.0/15.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <cstdlib>
#include <regex>

#include "auto/client_address.h"
#include "auto/network_status_binding.h"
#include "core/data_base.h"
#include "netns_topology.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// s --- r1 --- r2 --- d, each link a /24 whose lower end is .1 and upper end .2.
void BuildChain(NetnsTopology& net, const std::string& a, const std::string& b, const std::string& c) {
  for (const char* role : {"s", "r1", "r2", "d"}) net.AddNamespace(role);
  net.Link("s", a + ".2/24", "r1", a + ".1/24");
  net.Link("r1", b + ".1/24", "r2", b + ".2/24");
  net.Link("r2", c + ".1/24", "d", c + ".2/24");
  net.Route("s", {"default", "via", a + ".1"});
  net.Route("r1", {"default", "via", b + ".2"});
  net.Route("r2", {a + ".0/24", "via", b + ".1"});
  net.Route("d", {"default", "via", c + ".1"});
  for (const char* router : {"r1", "r2"}) {
    net.Forwarding(router);
    // Every probe of a test must be answered; the default limit drops ICMP errors in bursts.
    net.Sysctl(router, "net.ipv4.icmp_ratelimit=0");
  }
}

class ProbesNetnsTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist(netstatus::kLibraryName);
    if (!m_net.Available()) GTEST_SKIP() << "network namespaces unavailable: " << m_net.Error();
  }
  void TearDown() override {
    unsetenv("NETWORK_STATUS_SOCKET");
    ProgramFolderTest::TearDown();
  }

  NetnsTopology m_net;
};

void ExpectThreeHops(const netstatus::TraceResult& t) {
  EXPECT_EQ(t.success, 1);
  EXPECT_EQ(t.source, "198.18.1.2");
  EXPECT_EQ(t.destination, "198.18.3.2");
  ASSERT_EQ(t.lines.size(), 3u);
  const char* hops[] = {"198.18.1.1", "198.18.2.2", "198.18.3.2"};
  std::regex line(R"((\d+)  (\S+)(  \d+\.\d{3} ms){3})");
  for (size_t i = 0; i < 3; ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(t.lines[i], m, line)) << t.lines[i];
    EXPECT_EQ(m[1].str(), std::to_string(i + 1));
    EXPECT_EQ(m[2].str(), hops[i]);
  }
}

void ExpectFourReplies(const netstatus::PingResult& p) {
  EXPECT_EQ(p.success, 1);
  EXPECT_EQ(p.transmitted, 4);
  EXPECT_EQ(p.received, 4);
  EXPECT_EQ(p.loss, "0%");
  ASSERT_EQ(p.lines.size(), 4u);
  // Two routers lie between: the reply's TTL is two below the sender's 64.
  for (const auto& l : p.lines) EXPECT_NE(l.find("from 198.18.3.2: icmp_seq="), std::string::npos) << l;
  for (const auto& l : p.lines) EXPECT_NE(l.find(" ttl=62 "), std::string::npos) << l;
}

TEST_F(ProbesNetnsTest, TracesThreeHopsInOrderOverRawAndDatagramSockets) {
  BuildChain(m_net, "198.18.1", "198.18.2", "198.18.3");
  ASSERT_FALSE(m_net.Failed()) << m_net.Error();

  netstatus::TraceResult trace;
  netstatus::PingResult ping;
  ASSERT_TRUE(m_net.RunIn("s", [&] {
    trace = netstatus::Tracert("198.18.3.2", 10);
    ping = netstatus::Ping("198.18.3.2", 4);
  }));
  ExpectThreeHops(trace);
  ExpectFourReplies(ping);

  // The unprivileged socket: errors about our requests come through the socket's error queue.
  m_net.Sysctl("s", "net.ipv4.ping_group_range=0 2147483647");
  ASSERT_FALSE(m_net.Failed()) << m_net.Error();
  setenv("NETWORK_STATUS_SOCKET", "datagram", 1);
  ASSERT_TRUE(m_net.RunIn("s", [&] {
    trace = netstatus::Tracert("198.18.3.2", 10);
    ping = netstatus::Ping("198.18.3.2", 4);
  }));
  ExpectThreeHops(trace);
  ExpectFourReplies(ping);
}

TEST_F(ProbesNetnsTest, SilentOrUnroutedDestinationAnswersNothingWithinTheBound) {
  BuildChain(m_net, "198.18.1", "198.18.2", "198.18.3");
  m_net.AddNamespace("lone");
  ASSERT_FALSE(m_net.Failed()) << m_net.Error();

  netstatus::PingResult silent, unrouted;
  netstatus::TraceResult silentTrace, unroutedTrace;
  double pingTook = 0, traceTook = 0, unroutedTook = 0;
  ASSERT_TRUE(m_net.RunIn("s", [&] {
    auto start = Clock::now();
    silent = netstatus::Ping("198.18.3.99", 4);
    pingTook = Seconds(start);
    start = Clock::now();
    silentTrace = netstatus::Tracert("198.18.3.99", 4);
    traceTook = Seconds(start);
  }));
  ASSERT_TRUE(m_net.RunIn("lone", [&] {
    auto start = Clock::now();
    unrouted = netstatus::Ping("198.18.9.9", 4);
    unroutedTrace = netstatus::Tracert("198.18.9.9", 4);
    unroutedTook = Seconds(start);
  }));

  // Nobody owns the address: no reply, every request counted, within count x (interval + time-out).
  EXPECT_EQ(silent.success, 0);
  EXPECT_EQ(silent.transmitted, 4);
  EXPECT_EQ(silent.received, 0);
  EXPECT_EQ(silent.loss, "100%");
  for (const auto& l : silent.lines) EXPECT_EQ(l.find("bytes from"), std::string::npos) << l;
  EXPECT_LE(pingTook, 4 * 2.0);

  // The trace shows the two routers, never the destination, and waits at most a second a hop.
  EXPECT_EQ(silentTrace.success, 1);
  ASSERT_GE(silentTrace.lines.size(), 3u);
  EXPECT_LE(silentTrace.lines.size(), 4u);
  EXPECT_EQ(silentTrace.lines[0].rfind("1  198.18.1.1  ", 0), 0u) << silentTrace.lines[0];
  EXPECT_EQ(silentTrace.lines[1].rfind("2  198.18.2.2  ", 0), 0u) << silentTrace.lines[1];
  for (const auto& l : silentTrace.lines) EXPECT_EQ(l.find("198.18.3.99"), std::string::npos) << l;
  EXPECT_LE(traceTook, 4 * 1.0 + 0.5);

  // Without any route the probes end at once.
  EXPECT_EQ(unrouted.success, 0);
  EXPECT_EQ(unrouted.received, 0);
  EXPECT_EQ(unroutedTrace.success, 0);
  EXPECT_LT(unroutedTook, 2.0);
}

TEST_F(ProbesNetnsTest, AddressTaskStoresFirstPublicHop) {
  // The first router answers from a private address, the second from a public one.
  BuildChain(m_net, "10.77.1", "198.18.2", "198.18.3");
  ASSERT_FALSE(m_net.Failed()) << m_net.Error();
  Write("conf\\config.properties", "address_probe_host=198.18.3.2\n");

  ASSERT_TRUE(m_net.RunIn("s", [] { StartAddressTask(); }));
  ASSERT_TRUE(WaitForAddressTask(std::chrono::seconds(30)));
  EXPECT_EQ(CDataBase::Instance().ClientAddress(), "198.18.2.2");
  char mainLog[64];
  time_t now = time(nullptr);
  strftime(mainLog, sizeof mainLog, "log/%Y-%m-%d.log", localtime(&now));
  EXPECT_NE(Read(mainLog).find("198.18.2.2"), std::string::npos);
}

TEST_F(ProbesNetnsTest, DiscoveryNeverTakesTheDestination) {
  // Both routers answer from private addresses: only the destination is public.
  BuildChain(m_net, "10.77.1", "172.20.2", "198.18.3");
  ASSERT_FALSE(m_net.Failed()) << m_net.Error();
  Write("conf\\config.properties", "address_probe_host=198.18.3.2\n");

  bool found = true;
  double took = 0;
  ASSERT_TRUE(m_net.RunIn("s", [&] {
    auto start = Clock::now();
    found = DiscoverClientAddress();
    took = Seconds(start);
  }));
  EXPECT_FALSE(found);
  EXPECT_EQ(CDataBase::Instance().ClientAddress(), "");
  // Both traces reach the destination at the third hop: no waiting on silent hops.
  EXPECT_LT(took, 3.0);
}

}  // namespace
