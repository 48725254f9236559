#include "bandwidth/band_record.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "auto/local_mac.h"
#include "core/data_base.h"
#include "history/history_record.h"
#include "history/sqlite_db.h"
#include "platform/codepage.h"
#include "record_test.h"
#include "test_support.h"

namespace {

using testsupport::SampleUser;

constexpr int64_t kMiB = 1048576;

band::BandResult SampleResult(bool automatic) {
  band::BandResult r;
  r.automatic = automatic;
  r.serverName = "北京电信";
  r.monitorId = "1101";
  r.down.assign(5, 99 * kMiB);  // slow start: never counted
  for (int i = 0; i < 5; ++i) r.down.push_back(kMiB * 5 / 2);
  for (int i = 0; i < 5; ++i) r.down.push_back(kMiB * 3 / 2);
  r.up.assign(5, 7);
  r.up.push_back(0);
  r.up.push_back(0);
  for (int i = 0; i < 4; ++i) r.up.push_back(kMiB * 3 / 4);
  for (int i = 0; i < 4; ++i) r.up.push_back(kMiB / 4);
  r.pingTime = "3.0";
  r.downJitter = "0.250000";
  r.upJitter = "-1.000000";
  return r;
}

using BandRecordTest = testsupport::RecordTest;

}  // namespace

TEST(BandRecordText, MatchesTheGoldenFileByteForByte) {
  const std::string text =
      band::RecordText(SampleResult(false), SampleUser(1), "1234", "3", "2014-05-06 07:08:09");
  EXPECT_EQ(codepage::Utf8ToGbk(text), testsupport::ReadFile(testsupport::SourcePath(
                                           "tests/bandwidth/golden/band_record_manual.dat")));
  EXPECT_EQ(band::RecordFileName("2014-05-06 07:08:09"), "Pccollect_band_2014050607.dat");
  EXPECT_EQ(band::RecordFileName("garbage"), "");
}

TEST(BandRecordText, AutomaticRunsAndEmptyPhases) {
  band::BandResult result = SampleResult(true);
  result.up.assign(15, 0);
  const std::string text = band::RecordText(result, SampleUser(1), "null", "null", "t");
  EXPECT_NE(text.find("\ntesttype=0\n"), std::string::npos);
  EXPECT_NE(text.find("\nupmaxspeed=0.00\nupavgspeed=0.00\n"), std::string::npos);
  EXPECT_NE(text.find("\nrealbandwidth=null\n"), std::string::npos);
  EXPECT_NE(text.find("\nuserid=null\n"), std::string::npos);

  EXPECT_EQ(band::StatusText(result, "2014-05-06 07:08:09"),
            "最近一次带宽测速结果：\n测速服务器：北京电信\n估算带宽：16.0Mb/"
            "s\n测速时间：2014-05-06 07:08:09");

  EXPECT_TRUE(band::AccountWritesRecords(0));
  EXPECT_TRUE(band::AccountWritesRecords(4));
  EXPECT_TRUE(band::AccountWritesRecords(8));
  EXPECT_FALSE(band::AccountWritesRecords(5));
  EXPECT_FALSE(band::AccountWritesRecords(6));

  band::BandResult partial = SampleResult(false);
  EXPECT_TRUE(band::ResultComplete(partial));
  partial.up.pop_back();
  EXPECT_FALSE(band::ResultComplete(partial));
}

TEST_F(BandRecordTest, WritesFileRowAndStatusText) {
  std::string key;
  GetLocalMac(key);
  if (!key.empty()) Write("conf\\ipconfig.properties", key + "=3\n");
  const std::string real = key.empty() ? "null" : "3";
  CDataBase::Instance().SetUserInfo(SampleUser(1));

  const std::string name = band::WriteBandRecordAt(SampleResult(true), "2014-05-06 07:08:09");
  ASSERT_EQ(name, "Pccollect_band_2014050607.dat");
  const std::string expected =
      band::RecordText(SampleResult(true), SampleUser(1), "1234", real, "2014-05-06 07:08:09");
  EXPECT_EQ(Read("Data\\" + name), codepage::Utf8ToGbk(expected));

  HistoryRecordList rows = Rows();
  ASSERT_EQ(rows.count, 1);
  EXPECT_EQ(rows.SpeedTime[0], "2014-05-06 07:08:09");
  EXPECT_EQ(rows.sType[0], "自动");
  EXPECT_EQ(rows.SpeedType[0], "带宽测速");
  EXPECT_EQ(rows.sName[0], "北京电信");
  EXPECT_EQ(rows.sQuota[0], "16.0Mb/s");
  EXPECT_NE(CDataBase::Instance().LastResult().find("估算带宽：16.0Mb/s"), std::string::npos);

  // A second test in the same hour replaces the file; a manual run leaves the tray text alone.
  CDataBase::Instance().SetLastResult("kept");
  band::BandResult second = SampleResult(false);
  second.monitorId = "9999";
  EXPECT_EQ(band::WriteBandRecordAt(second, "2014-05-06 07:59:00"), name);
  const std::string replaced = codepage::GbkToUtf8(Read("Data\\" + name));
  EXPECT_NE(replaced.find("monitorid=9999\n"), std::string::npos);
  EXPECT_EQ(replaced.find("monitorid=1101"), std::string::npos);
  EXPECT_EQ(CDataBase::Instance().LastResult(), "kept");
  rows = Rows();
  ASSERT_EQ(rows.count, 2);
  EXPECT_EQ(rows.sType[0], "手动");
}

TEST_F(BandRecordTest, AuditedAccountsAndMissingFolderStillGetTheirRow) {
  CDataBase::Instance().SetUserInfo(SampleUser(6));
  const std::string name = band::WriteBandRecordAt(SampleResult(false), "2014-05-06 07:08:09");
  EXPECT_FALSE(testsupport::Exists(At("Data\\" + name)));
  EXPECT_EQ(Rows().count, 1);

  // Without Data\ the record is lost, but the row and the status text are not.
  CDataBase::Instance().SetUserInfo(SampleUser(1));
  std::filesystem::remove_all(At("Data"));
  band::WriteBandRecordAt(SampleResult(true), "2014-05-06 08:00:00");
  EXPECT_FALSE(testsupport::Exists(At("Data\\Pccollect_band_2014050608.dat")));
  EXPECT_EQ(Rows().count, 2);
  EXPECT_NE(CDataBase::Instance().LastResult().find("北京电信"), std::string::npos);
}

// The windowed program runs under the user's locale; the record, the row and the wire texts
// keep their decimal points and digits whatever it is.
TEST_F(BandRecordTest, NumbersIgnoreTheProcessLocale) {
  const std::string golden = testsupport::ReadFile(
      testsupport::SourcePath("tests/bandwidth/golden/band_record_manual.dat"));
  CDataBase::Instance().SetUserInfo(SampleUser(1));
  int hour = 10;
  for (const char* name : testsupport::kForeignLocales) {
    SCOPED_TRACE(name);
    testsupport::ScopedLocale locale(name);
    ASSERT_TRUE(locale.Active()) << name << " is not installed (scripts/setup generates it)";
    EXPECT_EQ(codepage::Utf8ToGbk(band::RecordText(SampleResult(false), SampleUser(1), "1234", "3",
                                                   "2014-05-06 07:08:09")),
              golden);
    EXPECT_EQ(band::JitterText(0.25f), "0.250000");
    EXPECT_EQ(band::PingText(true, 3.9), "3.0");
    EXPECT_EQ(band::MaxRateText({0, 0, 0, 0, 0, kMiB * 3 / 2}), "1.50");
    EXPECT_EQ(band::MakeR(1399331289, 16384), "1399331289.50001525925473800");

    const std::string time = "2014-05-06 " + std::to_string(hour++) + ":00:00";
    band::WriteBandRecordAt(SampleResult(true), time);
    EXPECT_EQ(Rows().sQuota[0], "16.0Mb/s");
    EXPECT_NE(CDataBase::Instance().LastResult().find("估算带宽：16.0Mb/s"), std::string::npos);
  }
}
