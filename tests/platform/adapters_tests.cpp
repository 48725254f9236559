#include "platform/adapters.h"

#include <gtest/gtest.h>

#include "auto/local_mac.h"
#include "core/properties_file.h"
#include "netns_topology.h"
#include "test_support.h"

namespace {

TEST(AdaptersTest, ReadsDefaultRoutesFromTheRoutingTable) {
  const char* table =
      "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
      "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"
      "eth1\t00000000\t00000000\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"  // not up
      "broken line\n"
      "eth0\t00000000\t010200C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
      "ppp0\t00000000\t00000000\t0001\t0\t0\t700\t00000000\t0\t0\t0\n";
  auto routes = platform::ParseDefaultRoutes(table);
  ASSERT_EQ(routes.size(), 3u);
  EXPECT_EQ(routes[0].interface, "eth0");
  EXPECT_EQ(routes[0].gateway, "192.0.2.1");
  EXPECT_EQ(routes[1].interface, "wlan0");
  EXPECT_EQ(routes[1].gateway, "192.168.1.1");
  EXPECT_EQ(routes[2].interface, "ppp0");  // a point-to-point link has no gateway
  EXPECT_EQ(routes[2].gateway, "");
  EXPECT_TRUE(platform::ParseDefaultRoutes("").empty());
}

TEST(AdaptersTest, FormatsHardwareAddresses) {
  EXPECT_EQ(platform::FormatMac({0x02, 0xfc, 0x00, 0x0a, 0xbc, 0xff}), "02-FC-00-0A-BC-FF");
  EXPECT_EQ(platform::FormatMac({}), "");
}

class AdaptersNetnsTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    if (!m_net.Available()) GTEST_SKIP() << "network namespaces unavailable: " << m_net.Error();
    // Two adapters; the one made second carries the default route.
    m_net.AddNamespace("host");
    m_net.AddNamespace("peer");
    m_other = m_net.Link("host", "198.18.6.2/24", "peer", "198.18.6.1/24", "02:aa:bb:cc:dd:01").first;
    m_routed = m_net.Link("host", "198.18.5.2/24", "peer", "198.18.5.1/24", "02:11:22:33:44:5f").first;
    m_net.Route("host", {"default", "via", "198.18.5.1"});
    ASSERT_FALSE(m_net.Failed()) << m_net.Error();
  }

  NetnsTopology m_net;
  std::string m_other, m_routed;
};

TEST_F(AdaptersNetnsTest, FirstAdapterIsTheDefaultRoutesElseTheFirstUpWithAnAddress) {
  std::optional<platform::Adapter> first;
  std::optional<std::vector<platform::Adapter>> all;
  std::string mac;
  bool gotMac = false;
  ASSERT_TRUE(m_net.RunIn("host", [&] {
    first = platform::FirstAdapter();
    all = platform::ListAdapters();
    gotMac = GetLocalMac(mac);
  }));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->name, m_routed);
  EXPECT_EQ(first->ipv4, "198.18.5.2");
  EXPECT_EQ(first->mask, "255.255.255.0");
  EXPECT_EQ(first->gateway, "198.18.5.1");
  EXPECT_TRUE(first->up);
  EXPECT_FALSE(first->physical);
  EXPECT_TRUE(gotMac);
  EXPECT_EQ(mac, "02-11-22-33-44-5F");
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 3u);  // lo and the two links, in index order
  EXPECT_TRUE((*all)[0].loopback);
  EXPECT_EQ((*all)[1].name, m_other);
  EXPECT_EQ((*all)[1].gateway, "");

  // Without a default route the first adapter in index order that is up takes over; a link
  // that is down does not count.
  ASSERT_TRUE(m_net.Ip("host", {"route", "del", "default"}));
  ASSERT_TRUE(m_net.RunIn("host", [&] { gotMac = GetLocalMac(mac); }));
  EXPECT_TRUE(gotMac);
  EXPECT_EQ(mac, "02-AA-BB-CC-DD-01");
  ASSERT_TRUE(m_net.Ip("host", {"link", "set", m_other, "down"}));
  ASSERT_TRUE(m_net.RunIn("host", [&] { gotMac = GetLocalMac(mac); }));
  EXPECT_EQ(mac, "02-11-22-33-44-5F");

  // Nothing usable left: no address, and no key is written.
  ASSERT_TRUE(m_net.Ip("host", {"link", "set", m_routed, "down"}));
  bool ensured = true;
  ASSERT_TRUE(m_net.RunIn("host", [&] {
    gotMac = GetLocalMac(mac);
    ensured = EnsureAdapterKey();
  }));
  EXPECT_FALSE(gotMac);
  EXPECT_EQ(mac, "");
  EXPECT_FALSE(ensured);
  EXPECT_FALSE(testsupport::Exists(At("conf/ipconfig.properties")));
}

TEST_F(AdaptersNetnsTest, EnsureAdapterKeyAddsOnlyAnAbsentKeyWithoutStamp) {
  Write("conf/ipconfig.properties", "#user config\n#old\nAA-BB-CC-DD-EE-FF=3\npre_date=x\n");
  ASSERT_TRUE(m_net.RunIn("host", [] { EXPECT_TRUE(EnsureAdapterKey()); }));
  EXPECT_EQ(conf::Read(conf::kIpConfig, "02-11-22-33-44-5F"), "1");
  EXPECT_EQ(conf::Read(conf::kIpConfig, "AA-BB-CC-DD-EE-FF"), "3");
  EXPECT_EQ(conf::Read(conf::kIpConfig, "pre_date"), "x");

  // A declared value stays as it is, and the file is not rewritten.
  PropertiesFile file(conf::kIpConfig);
  file.Load();
  file.Set("02-11-22-33-44-5F", "7");
  file.Save(false);
  std::string before = Read("conf/ipconfig.properties");
  ASSERT_TRUE(m_net.RunIn("host", [] { EXPECT_TRUE(EnsureAdapterKey()); }));
  EXPECT_EQ(Read("conf/ipconfig.properties"), before);
  EXPECT_EQ(conf::Read(conf::kIpConfig, "02-11-22-33-44-5F"), "7");
}

}  // namespace
