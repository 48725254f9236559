#include <gtest/gtest.h>

#include <cmath>

#include "bandwidth/band_statistics.h"
#include "bandwidth/server_catalogue.h"

using band::Samples;

namespace {

Samples Steady(size_t head, int64_t headValue, size_t tail, int64_t tailValue) {
  Samples s(head, headValue);
  s.insert(s.end(), tail, tailValue);
  return s;
}

}  // namespace

TEST(BandStatistics, SlowStartSecondsAreIgnored) {
  // Five slow-start zeros, then a steady 1 MiB/s.
  const Samples s = Steady(5, 0, 10, 1048576);
  EXPECT_FLOAT_EQ(band::AverageRate(s), 1.0f);
  EXPECT_FLOAT_EQ(band::AverageRate(s) * 8, 8.0f);
  EXPECT_FLOAT_EQ(band::Jitter(s), 0.0f);
  EXPECT_EQ(band::MaxRateText(s), "1.00");

  // Huge first seconds must not leak into the maximum or the average either.
  const Samples burst = Steady(5, 50 * 1048576LL, 10, 2 * 1048576LL);
  EXPECT_FLOAT_EQ(band::AverageRate(burst), 2.0f);
  EXPECT_EQ(band::MaxRateText(burst), "2.00");
}

TEST(BandStatistics, ZeroSecondsAreLeftOutOfTheAverageOnly) {
  Samples s(5, 777);
  for (int i = 0; i < 10; ++i) s.push_back(i < 3 ? 0 : 1048576);
  EXPECT_FLOAT_EQ(band::AverageRate(s), 1.0f);  // not 0.70
  // The jitter still sees the dead seconds: mean 0.7, deviation sqrt(0.21).
  EXPECT_NEAR(band::Jitter(s), std::sqrt(0.21) / 0.7, 1e-4);
}

TEST(BandStatistics, TooFewOrEmptySamples) {
  for (size_t n = 0; n <= 5; ++n) {
    const Samples s(n, 1048576);
    EXPECT_FLOAT_EQ(band::Jitter(s), -1.0f) << n;
    EXPECT_FLOAT_EQ(band::AverageRate(s), 0.0f) << n;
    EXPECT_EQ(band::MaxRateText(s), "0.00") << n;
  }
  const Samples dead = Steady(5, 1000, 10, 0);
  EXPECT_FLOAT_EQ(band::Jitter(dead), -1.0f);
  EXPECT_FLOAT_EQ(band::AverageRate(dead), 0.0f);
  EXPECT_EQ(band::MaxRateText(dead), "0.00");
  EXPECT_EQ(band::JitterText(-1), "-1.000000");
}

TEST(BandStatistics, LargeLinesDoNotOverflow) {
  // 1 Gbit/s moves about 119 MiB a second: 15 of them exceed 32 bits.
  const Samples s = Steady(5, 0, 10, 125000000);
  EXPECT_NEAR(band::AverageRate(s), 125000000 / 1048576.0, 1e-3);
  EXPECT_EQ(band::MaxRateText(s), "119.21");
}

TEST(BandStatistics, LiveRateAndPingTexts) {
  EXPECT_DOUBLE_EQ(band::LiveRate(1048576), 8192);
  EXPECT_DOUBLE_EQ(band::LiveRate(2047), 8);  // whole KiB only
  EXPECT_DOUBLE_EQ(band::LiveRate(-5), 0);
  EXPECT_EQ(band::PingText(false, 0), "10.0");
  EXPECT_EQ(band::PingText(true, 3.9), "3.0");
  EXPECT_EQ(band::PingText(true, 0.045), "0.0");
}

TEST(BandProtocol, SlotReplies) {
  auto r = band::ParseSlotReply("2,abc123");
  EXPECT_EQ(r.status, '2');
  EXPECT_EQ(r.key, "abc123");
  r = band::ParseSlotReply("1");
  EXPECT_EQ(r.status, '1');
  EXPECT_TRUE(r.key.empty());
  r = band::ParseSlotReply("1,");
  EXPECT_TRUE(r.key.empty());
  r = band::ParseSlotReply("1,k 9\r\n");
  EXPECT_EQ(r.key, "k 9");
  // NUL is no blank: the reply's bytes after the separator stay the key.
  using namespace std::string_literals;
  r = band::ParseSlotReply("\x01\0\0\0"s);
  EXPECT_EQ(r.status, '\x01');
  EXPECT_EQ(r.key, "\0\0"s);
  r = band::ParseSlotReply("1,k\0 \n"s);
  EXPECT_EQ(r.key, "k\0"s);
  r = band::ParseSlotReply("");
  EXPECT_EQ(r.status, '\0');
  EXPECT_TRUE(r.key.empty());
}

TEST(BandProtocol, RandomParameter) {
  EXPECT_EQ(band::MakeR(1400000000, 0), "1400000000.00000000000000000");
  EXPECT_EQ(band::MakeR(1400000000, 16383), "1400000000.49998474074526200");
  const std::string full = band::MakeR(1400000000, 32767);
  EXPECT_EQ(full, "1400000000.00000000000000000");
  EXPECT_EQ(band::MakeR(7, 12345).size(), 1u + 1 + 17);
}

// --- server choice ----------------------------------------------------------------------------

namespace {

ProvinceServers Province(std::string name, std::string nas, std::vector<std::string> near,
                         std::vector<std::string> servers) {
  ProvinceServers p;
  p.name = std::move(name);
  p.nas = std::move(nas);
  p.near = std::move(near);
  for (auto& s : servers) p.servers.push_back({s, "", ""});
  return p;
}

const std::vector<std::string> kOperators = {"电信", "联通", "移动", "电信通"};

}  // namespace

TEST(ServerSelection, TelecomNeverPicksTelecomLinkAndLastServerComesFirst) {
  const ServerCatalogue cat = {
      Province("北京", "N", {}, {"北京电信A", "北京电信通B", "北京联通C", "北京电信D"})};
  auto sel = SelectServers(cat, {"北京", "北京", "中国电信"}, kOperators);
  EXPECT_EQ(sel.province, 0);
  EXPECT_EQ(sel.candidates, (std::vector<std::string>{"北京电信D", "北京电信A"}));

  // The screen's lists follow the same rules.
  EXPECT_EQ(OperatorsOf(cat[0], kOperators), (std::vector<std::string>{"电信", "联通", "电信通"}));
  EXPECT_EQ(ServersOf(cat[0], "联通"), (std::vector<std::string>{"北京联通C"}));

  // A "电信通" user gets "电信通" servers, also with "电信" listed first (as shipped): the
  // longest contained name wins.
  sel = SelectServers(cat, {"北京", "北京", "北京电信通"}, {"电信通", "电信"});
  EXPECT_EQ(sel.candidates, (std::vector<std::string>{"北京电信通B"}));
  sel = SelectServers(cat, {"北京", "北京", "北京电信通"}, kOperators);
  EXPECT_EQ(sel.candidates, (std::vector<std::string>{"北京电信通B"}));
  EXPECT_EQ(OperatorKeyword("电信通", "", kOperators), "电信通");
  EXPECT_EQ(OperatorKeyword("中国电信", "N", kOperators), "电信");
}

TEST(ServerSelection, CityServersWinInTheOwnProvinceOnly) {
  const ServerCatalogue cat = {
      Province("上海", "", {}, {"上海浦东电信", "上海电信", "嘉定电信"}),
      Province("广东", "", {"上海"}, {"深圳联通"}),
  };
  // Municipality: the city is the province name, so city-named servers are picked.
  auto sel = SelectServers(cat, {"上海", "上海", "电信"}, kOperators);
  EXPECT_EQ(sel.candidates, (std::vector<std::string>{"上海电信", "上海浦东电信"}));

  // No own-province telecom server: the neighbour's operator list, city not considered.
  sel = SelectServers(cat, {"广东省", "上海", "电信"}, kOperators);
  EXPECT_EQ(sel.province, 1);
  EXPECT_EQ(sel.candidates, (std::vector<std::string>{"嘉定电信", "上海电信", "上海浦东电信"}));
}

TEST(ServerSelection, SecondRoundUsesTheProvinceDefaultOperator) {
  // Only northern-operator servers, a telecom user: own province and neighbours fail first.
  const ServerCatalogue cat = {
      Province("河北", "N", {"天津"}, {"石家庄联通", "保定联通"}),
      Province("天津", "", {}, {"天津联通"}),
  };
  auto sel = SelectServers(cat, {"河北", "保定", "电信"}, kOperators);
  EXPECT_EQ(sel.candidates, (std::vector<std::string>{"保定联通"}));

  // Default "电信" for any nas other than a lone "N": nothing in either round.
  const ServerCatalogue south = {Province("江西", "NN", {}, {"南昌联通"})};
  sel = SelectServers(south, {"江西", "南昌", "移动"}, kOperators);
  EXPECT_EQ(sel.province, 0);
  EXPECT_TRUE(sel.candidates.empty());
}

TEST(ServerSelection, NothingToChooseFrom) {
  const ServerCatalogue cat = {Province("北京", "", {}, {"北京电信"})};
  EXPECT_TRUE(SelectServers(cat, {"", "", "电信"}, kOperators).candidates.empty());
  auto sel = SelectServers(cat, {"西藏", "拉萨", "电信"}, kOperators);
  EXPECT_EQ(sel.province, -1);
  EXPECT_TRUE(sel.candidates.empty());
  EXPECT_TRUE(SelectServers({}, {"北京", "北京", "电信"}, kOperators).candidates.empty());
  // An unknown operator falls back to the province default even with an empty operator file.
  EXPECT_EQ(OperatorKeyword("未知", "N", {}), "联通");
  EXPECT_EQ(OperatorKeyword("", "", kOperators), "电信");
}

TEST(ServerSelection, ChoiceCheck) {
  const AutomaticChoice none;
  const AutomaticChoice chosen{"北京", "北京电信"};
  const UserLocation home{"北京", "北京", "电信"};
  EXPECT_EQ(CheckServerChoice("北京电信", none, home), ChoiceCheck::kNoServer);
  EXPECT_EQ(CheckServerChoice("北京电信", {"北京", ""}, home), ChoiceCheck::kNoServer);
  EXPECT_EQ(CheckServerChoice("北京电信", chosen, home), ChoiceCheck::kContinue);
  EXPECT_EQ(CheckServerChoice("北京联通", chosen, home), ChoiceCheck::kMismatch);
  EXPECT_EQ(CheckServerChoice("北京电信", chosen, {"天津", "天津", "电信"}),
            ChoiceCheck::kMismatch);
}

TEST(ServerCatalogueValues, AddressAndMonitorId) {
  std::string address, monitor;
  ParseDestValue("127.0.0.2:1001:7", &address, &monitor);
  EXPECT_EQ(address, "127.0.0.2");
  EXPECT_EQ(monitor, "1001");
  ParseDestValue("host.example:1001:7", &address, &monitor);
  EXPECT_TRUE(address.empty());
  EXPECT_TRUE(monitor.empty());
  ParseDestValue("127.0.0.2:1001", &address, &monitor);
  EXPECT_TRUE(address.empty());
}
