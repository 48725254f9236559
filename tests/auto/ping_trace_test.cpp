// The pure pieces of the ping and trace collection: location split, parameter file, selection
// of destinations and the records, byte for byte.

#include "auto/ping_trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/codepage.h"
#include "test_support.h"

using pingtrace::TraceDestination;

namespace {

const std::vector<std::string> kMarkers = {"市", "地区", "自治州", "盟", "县"};

std::vector<std::string> Addresses(const std::vector<TraceDestination>& list) {
  std::vector<std::string> out;
  for (const auto& d : list) out.push_back(d.address);
  return out;
}

// A picker that answers from a script and counts its pauses.
struct ScriptedPicker {
  std::vector<unsigned> numbers;
  size_t next = 0;
  int pauses = 0;
  pingtrace::Picker Get() {
    return {[this] { return numbers[next++ % numbers.size()]; },
            [this] {
              ++pauses;
              return true;
            }};
  }
};

// Ten provinces of one city each; city k holds operators 1, 2 and 3 at 10.k.0.{1,2,3}.
std::string TenGroups() {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n<rand_sel_items>\n";
  for (int k = 0; k < 10; ++k) {
    xml += "<prov-array prov=\"P" + std::to_string(k) + "\"><city-array city=\"C" +
           std::to_string(k) + "\">";
    for (int op = 1; op <= 3; ++op)
      xml += "<destip operator=\"" + std::to_string(op) + "\" ip=\"10." + std::to_string(k) +
             ".0." + std::to_string(op) + "\" iid=\"" + std::to_string(k * 10 + op) + "\"/>";
    xml += "</city-array></prov-array>\n";
  }
  xml +=
      "</rand_sel_items>\n<must_sel_items>\n"
      "<prov-array prov=\"江苏\"><destip operator=\"1\" ip=\"1.1.1.1\" iid=\"501\"/>"
      "<destip operator=\"2\" ip=\"1.1.1.2\" iid=\"502\"/></prov-array>\n"
      "<prov-array prov=\"浙江\"><destip operator=\"1\" ip=\"2.2.2.1\" iid=\"601\"/></prov-array>\n"
      "<prov-array prov=\"广东\"><destip operator=\"1\" ip=\"3.3.3.1\" iid=\"701\"/></prov-array>\n"
      "<web-array><destip id=\"7\" name=\"门户\" website=\"www.example.cn\"/>"
      "<destip id=\"8\" name=\"视频\" website=\"video.example.cn\"/>"
      "<destip id=\"9\" name=\"购物\" website=\"shop.example.cn\"/></web-array>\n"
      "</must_sel_items>\n</root>\n";
  return xml;
}

class PingTrace : public ProgramFolderTest {};

}  // namespace

TEST(PingTraceLocation, SplitsByTheFourRules) {
  struct Case {
    const char* text;
    const char* province;
    const char* city;
  };
  const Case cases[] = {
      {"江苏省南京市", "江苏", "南京"},
      {"江苏省南京市玄武区", "江苏", "南京"},
      {"四川省阿坝藏族羌族自治州", "四川", "阿坝藏族羌族"},
      {"广西壮族自治区桂林市", "广西壮族", "桂林"},
      {"内蒙古自治区锡林郭勒盟", "内蒙古", "锡林郭勒"},
      {"北京市", "北京", "北京"},
      {"北京市海淀区", "北京", "北京"},
      {"江苏省", "江苏", ""},  // no marker in the rest: no city
      {"香港", "", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    auto where = pingtrace::SplitLocation(c.text, kMarkers);
    EXPECT_EQ(where.province, c.province) << c.text;
    EXPECT_EQ(where.city, c.city) << c.text;
  }
  // Markers are tried in file order: "县" before "市" finds the county first.
  EXPECT_EQ(pingtrace::SplitLocation("江苏省沛县某市", {"县", "市"}).city, "沛");
}

TEST(PingTraceLists, SplitOnDashes) {
  EXPECT_EQ(pingtrace::SplitList(""), std::vector<std::string>{});
  EXPECT_EQ(pingtrace::SplitList("1"), std::vector<std::string>{"1"});
  EXPECT_EQ(pingtrace::SplitList("1-3"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(pingtrace::SplitList("self-江苏"), (std::vector<std::string>{"self", "江苏"}));
  EXPECT_EQ(pingtrace::SplitList("a--b-"), (std::vector<std::string>{"a", "", "b", ""}));
}

TEST_F(PingTrace, ReadsTheMatchingParameters) {
  Write(
      "Config/tracert_ping_param.xml",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n"
      "<province-array name=\"浙江\"><city-array name=\"all\" operid=\"1\" destfile=\"zj.xml\" "
      "interval=\"5\" tracecmd=\"true\" pingcmd=\"true\"/></province-array>\n"
      "<province-array name=\"江苏\">\n"
      " <city-array name=\"all\" operid=\"1-3\" destfile=\"first.xml\" interval=\"30\" "
      "tracecmd=\"true\" "
      "pingcmd=\"false\">\n"
      "  <random rand=\"3\" randname=\"city\" opersel=\"all\" pingpacket=\"2\" tracettl=\"20\"/>\n"
      "  <must provsel=\"self-浙江\" opersel=\"1-2\" pingpacket=\"6\" tracettl=\"500\" "
      "webid=\"all\"/>\n"
      " </city-array>\n"
      " <city-array name=\"苏州\" operid=\"1\" destfile=\"suzhou.xml\"/>\n"
      "</province-array>\n"
      "<province-array name=\"all\">\n"
      " <city-array name=\"南京\" operid=\"2-3\" destfile=\"last.xml\" interval=\"10\" "
      "pingcmd=\"true\">\n"
      "  <must provsel=\"广东\" opersel=\"3\" pingpacket=\"1000\" tracettl=\"0\" webid=\"7-9\"/>\n"
      " </city-array>\n"
      "</province-array>\n</root>\n");
  const std::string file = "Config/tracert_ping_param.xml";

  // Operator 1 in Nanjing: only the first city-array matches.
  auto p = pingtrace::ReadTracePingParams(file, "江苏", "南京", "1");
  EXPECT_EQ(p.destFile, "first.xml");
  EXPECT_EQ(p.interval, 30);
  EXPECT_TRUE(p.trace);
  EXPECT_FALSE(p.ping);
  EXPECT_EQ(p.randomCount, 3);
  EXPECT_EQ(p.randomGrouping, "city");
  EXPECT_EQ(p.randomOperators, std::vector<std::string>{"all"});
  EXPECT_EQ(p.randomPingCount, 4);  // held to at least 4
  EXPECT_EQ(p.randomHops, 20);
  EXPECT_EQ(p.mustProvinces, (std::vector<std::string>{"江苏", "浙江"}));
  EXPECT_EQ(p.mustOperators, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(p.mustPingCount, 6);
  EXPECT_EQ(p.mustHops, 64);  // held to at most 64
  EXPECT_EQ(p.webIds, std::vector<std::string>{"all"});

  // Operator 3 in Nanjing: two matches, the last wins wholly (its missing random reads as 0).
  p = pingtrace::ReadTracePingParams(file, "江苏", "南京", "3");
  EXPECT_EQ(p.destFile, "last.xml");
  EXPECT_EQ(p.interval, 10);
  EXPECT_FALSE(p.trace);
  EXPECT_TRUE(p.ping);
  EXPECT_EQ(p.randomCount, 0);
  EXPECT_TRUE(p.randomOperators.empty());
  EXPECT_EQ(p.mustProvinces, std::vector<std::string>{"广东"});
  EXPECT_EQ(p.mustPingCount, 100);
  EXPECT_EQ(p.mustHops, 1);
  EXPECT_EQ(p.webIds, (std::vector<std::string>{"7", "9"}));

  // The operator must be listed exactly; an unknown province matches nothing.
  p = pingtrace::ReadTracePingParams(file, "江苏", "无锡", "13");
  EXPECT_TRUE(p.destFile.empty());
  p = pingtrace::ReadTracePingParams(file, "浙江", "杭州", "1");
  EXPECT_EQ(p.destFile, "zj.xml");
  EXPECT_EQ(p.randomPingCount, 0);  // no random element: 0

  p = pingtrace::ReadTracePingParams("Config/missing.xml", "江苏", "南京", "1");
  EXPECT_TRUE(p.destFile.empty());
  EXPECT_EQ(p.interval, 0);
  EXPECT_FALSE(p.trace || p.ping);
  EXPECT_EQ(p.mustHops, 0);

  Write("Config/broken.xml", "<root><province-array name=\"江苏\"><city-array name=\"all\"");
  p = pingtrace::ReadTracePingParams("Config/broken.xml", "江苏", "南京", "1");
  EXPECT_EQ(p.interval, 0);
}

TEST_F(PingTrace, SelectsRandomGroups) {
  Write("Config/dest.xml", TenGroups());
  pingtrace::TracePingParams p;
  p.randomGrouping = "city";
  p.randomOperators = {"all"};

  // Three picks of ten, a pause before each, repeats allowed.
  p.randomCount = 3;
  ScriptedPicker picker{{12, 4, 2}};
  auto d = pingtrace::SelectDestinations("Config/dest.xml", p, picker.Get());
  EXPECT_EQ(picker.pauses, 3);
  EXPECT_EQ(Addresses(d.random),
            (std::vector<std::string>{"10.2.0.1", "10.2.0.2", "10.2.0.3", "10.4.0.1", "10.4.0.2",
                                      "10.4.0.3", "10.2.0.1", "10.2.0.2", "10.2.0.3"}));
  EXPECT_EQ(d.random[0].id, 21);
  EXPECT_EQ(d.random[0].oper, "1");

  // Ten of ten (or more): each group once, last to first, without pauses.
  p.randomCount = 12;
  p.randomOperators = {"1", "3"};
  ScriptedPicker none{{0}};
  d = pingtrace::SelectDestinations("Config/dest.xml", p, none.Get());
  EXPECT_EQ(none.pauses, 0);
  ASSERT_EQ(d.random.size(), 20u);
  EXPECT_EQ(d.random.front().address, "10.9.0.1");
  EXPECT_EQ(d.random[1].address, "10.9.0.3");
  EXPECT_EQ(d.random.back().address, "10.0.0.3");

  // Province groups hold the destinations of all their cities; no operator list: nothing.
  p.randomGrouping = "province";
  p.randomCount = 1;
  p.randomOperators = {"2"};
  ScriptedPicker one{{7}};
  d = pingtrace::SelectDestinations("Config/dest.xml", p, one.Get());
  EXPECT_EQ(Addresses(d.random), std::vector<std::string>{"10.7.0.2"});
  p.randomOperators.clear();
  d = pingtrace::SelectDestinations("Config/dest.xml", p, one.Get());
  EXPECT_TRUE(d.random.empty());

  // A stop during the pauses ends the picking.
  p.randomOperators = {"all"};
  p.randomCount = 5;
  pingtrace::Picker stopped{[] { return 1u; }, [] { return false; }};
  EXPECT_TRUE(pingtrace::SelectDestinations("Config/dest.xml", p, stopped).random.empty());
}

TEST_F(PingTrace, SelectsMustAndWebSites) {
  Write("Config/dest.xml", TenGroups());
  pingtrace::TracePingParams p;
  ScriptedPicker picker{{0}};
  auto d = pingtrace::SelectDestinations("Config/dest.xml", p, picker.Get());
  EXPECT_TRUE(d.random.empty() && d.must.empty() && d.web.empty());

  p.mustProvinces = {"江苏", "广东"};
  p.mustOperators = {"all"};
  p.webIds = {"all"};
  d = pingtrace::SelectDestinations("Config/dest.xml", p, picker.Get());
  EXPECT_EQ(Addresses(d.must), (std::vector<std::string>{"1.1.1.1", "1.1.1.2", "3.3.3.1"}));
  EXPECT_EQ(d.must[2].id, 701);
  EXPECT_EQ(Addresses(d.web),
            (std::vector<std::string>{"www.example.cn", "video.example.cn", "shop.example.cn"}));
  EXPECT_EQ(d.web[1].oper, "视频");
  EXPECT_EQ(d.web[1].id, 8);

  p.mustOperators = {"2"};
  p.webIds = {"9", "7"};
  d = pingtrace::SelectDestinations("Config/dest.xml", p, picker.Get());
  EXPECT_EQ(Addresses(d.must), std::vector<std::string>{"1.1.1.2"});
  EXPECT_EQ(Addresses(d.web), (std::vector<std::string>{"www.example.cn", "shop.example.cn"}));

  EXPECT_TRUE(pingtrace::SelectDestinations("Config/none.xml", p, picker.Get()).must.empty());
}

TEST_F(PingTrace, WritesRecordsByteForByte) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 7;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 3;
  const std::string when = pingtrace::DateTimeText(t);
  EXPECT_EQ(when, "2026-12-07 09:05:03");

  netstatus::TraceResult trace;
  trace.source = "10.0.0.2";
  trace.destination = "10.0.2.2";
  trace.success = 1;
  trace.id = 21;
  trace.lines = {"1  10.0.0.1  0.321 ms  0.280 ms  0.275 ms", "2  10.0.2.2  0.5 ms"};
  EXPECT_EQ(pingtrace::TraceRecordText(trace, when, 0, "1024"),
            "+++BEGIN\r\nscamper -c trace -P TCP -M -l 5 -i 10.0.2.2\r\ndatetime : 2026-12-07 "
            "09:05:03\r\n"
            "description:\r\niMissionId=1699\r\niMiaaionTypeId=1\r\niNeId=21\r\niMonitorId=1024\r\n"
            "iMissionType=9\r\nmetype=0\r\ncontent:\r\ntraceroute from 10.0.0.2 to 10.0.2.2\r\n"
            "1  10.0.0.1  0.321 ms  0.280 ms  0.275 ms\r\n2  10.0.2.2  0.5 ms\r\n"
            "\r\n[root@collect1024 ~]#\r\n---END\r\n");

  netstatus::PingResult ping;
  ping.source = "127.0.0.1";
  ping.destination = "127.0.0.1";
  ping.success = 1;
  ping.packetSize = 64;
  ping.transmitted = 4;
  ping.received = 3;
  ping.loss = "25%";
  ping.minimum = 0.0451f;
  ping.average = 0.0625f;
  ping.maximum = 0.1f;
  ping.stddev = 0.02f;
  ping.id = 8;
  ping.lines = {"64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms"};
  EXPECT_EQ(
      pingtrace::PingRecordText(ping, when, 1, ""),
      "+++BEGIN\r\n[scamper, -c, ping -c 10, -i, 127.0.0.1\r\ndatetime : 2026-12-07 09:05:03\r\n"
      "description:\r\niMissionId=1843\r\niMiaaionTypeId=2\r\niNeId=8\r\niMonitorId=\r\n"
      "iMissionType=9\r\nmetype=1\r\ncontent:\r\nping 127.0.0.1 to 127.0.0.1:64 byte packets\r\n"
      "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms\r\n"
      "--- 127.0.0.1 ping statistics ---\r\n4 packets transmitted,3 packets received, 25% packet "
      "loss\r\n"
      "round-trip min/avg/max/stddev = 0.045/0.062/0.100/0.020 ms\r\n\r\n[root@collect "
      "~]#\r\n---END\r\n");

  EXPECT_EQ(pingtrace::RecordFileName(true, t), "NetStatusData\\Pccollect_trace_2026120709.dat");
  EXPECT_EQ(pingtrace::RecordFileName(false, t), "NetStatusData\\Pccollect_ping_2026120709.dat");

  // Each record replaces the file of the hour; the folder is made when missing; GBK on disk.
  ASSERT_EQ(std::system(("rm -rf '" + At("NetStatusData") + "'").c_str()), 0);
  const std::string name = pingtrace::RecordFileName(false, t);
  ASSERT_TRUE(pingtrace::WriteRecordFile(name, std::string(5000, 'x')));
  ASSERT_TRUE(pingtrace::WriteRecordFile(name, "名字\r\n"));
  EXPECT_EQ(Read("NetStatusData/Pccollect_ping_2026120709.dat"), codepage::Utf8ToGbk("名字\r\n"));
  // A record that cannot be written is reported, so it is never packed.
  ASSERT_EQ(std::system(
                ("mkdir -p '" + At("NetStatusData/Pccollect_trace_2026120709.dat") + "'").c_str()),
            0);
  EXPECT_FALSE(pingtrace::WriteRecordFile(pingtrace::RecordFileName(true, t), "x"));
}

// The lab's update folder serves a working pair of files for the demo account.
TEST(PingTraceLab, ServedFilesSelectLoopbackDestinations) {
  const std::string folder = testsupport::SourcePath("lab/data/update/Kestrane/tracert_ping/");
  auto p = pingtrace::ReadTracePingParams(folder + "tracert_ping_param.xml", "北京", "北京", "中国电信");
  EXPECT_EQ(p.destFile, "tracert_ping_dest.xml");
  EXPECT_TRUE(p.trace && p.ping);
  EXPECT_EQ(p.mustProvinces, std::vector<std::string>{"北京"});
  ScriptedPicker picker{{0}};
  auto d = pingtrace::SelectDestinations(folder + p.destFile, p, picker.Get());
  EXPECT_EQ(Addresses(d.random), (std::vector<std::string>{"127.0.0.1", "127.0.0.1"}));
  EXPECT_EQ(Addresses(d.must), std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(Addresses(d.web), std::vector<std::string>{"localhost"});
}
