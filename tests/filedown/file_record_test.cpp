#include "filedown/file_record.h"

#include <gtest/gtest.h>

#include <clocale>

#include "core/data_base.h"
#include "history/history_record.h"
#include "history/sqlite_db.h"
#include "platform/codepage.h"
#include "record_test.h"
#include "test_support.h"

namespace {

using testsupport::LocalTime;
using testsupport::SampleUser;

// The example of a 10 MiB file cut after 2.5 MiB by a 10 s time-out.
filedown::FileResult SampleResult(bool automatic) {
  filedown::FileResult r;
  r.automatic = automatic;
  r.itemId = 1;
  r.name = "10MB测试文件";
  r.url = "http://127.0.0.1:18091/files/10MB.rar";
  r.totalSize = 10485760;
  r.counter = 2621440;
  r.connectMs = 3;
  r.loadMs = 10000;
  return r;
}

using FileRecordTest = testsupport::RecordTest;

}  // namespace

TEST(FileRecordText, MatchesTheGoldenFileInAnyLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  // A comma as the decimal mark must not reach the record.
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  const std::string text =
      filedown::RecordText(SampleResult(false), SampleUser(1), "1234",
                           filedown::RecordTime(LocalTime(2014, 5, 6, 7, 8, 9)));
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(codepage::Utf8ToGbk(text), testsupport::ReadFile(testsupport::SourcePath(
                                           "tests/filedown/golden/filedown_record_manual.dat")));
  EXPECT_EQ(filedown::RecordFileName(LocalTime(2014, 5, 6, 7, 8, 9)),
            "Pccollect_filedown_2014050607.dat");
}

TEST(FileRecordText, ZeroValuesAndSpeedRules) {
  filedown::FileResult r;
  EXPECT_EQ(filedown::TotalSizeText(r), "0");
  EXPECT_EQ(filedown::DownloadSizeText(r), "0");
  EXPECT_EQ(filedown::SpeedText(r), "0");
  EXPECT_EQ(filedown::ConnectTimeText(r), "0");
  EXPECT_EQ(filedown::LoadingTimeText(r), "0");
  r.counter = 5 << 20;  // bytes but no load time: no speed
  EXPECT_EQ(filedown::SpeedText(r), "0");
  r.loadMs = 2000;
  r.counter = 0;  // a time but no bytes
  EXPECT_EQ(filedown::SpeedText(r), "0");
  EXPECT_EQ(filedown::LoadingTimeText(r), "2.00");

  // Sizes above 4 GiB do not wrap.
  r.totalSize = r.counter = int64_t(5) << 30;
  r.loadMs = 1000;
  EXPECT_EQ(filedown::TotalSizeText(r), "5120.00");
  EXPECT_EQ(filedown::SpeedText(r), "5242880.00");

  filedown::FileResult automatic = SampleResult(true);
  automatic.checktype = 1;
  const std::string text = filedown::RecordText(automatic, SampleUser(1), "null", "t");
  EXPECT_NE(text.find("\ntesttype=0\nchecktype=1\n---end---"), std::string::npos);
  EXPECT_EQ(filedown::SummaryText(automatic, "2014-05-06 07:08:09"),
            "最近一次文件下载结果：\n文件类型：10MB测试文件\n平均速率：256.00 KB/s\n "
            "测速时间：2014-05-06 07:08:09");
}

TEST(FileRecordText, SampleTextsShowDashesUntilTheEnd) {
  filedown::SampleTexts t = filedown::MakeSampleTexts(0, 0, false, 0, 0);
  EXPECT_EQ(t.total, "--");
  EXPECT_EQ(t.connect, "0.00");
  EXPECT_EQ(t.loaded, "--");
  EXPECT_EQ(t.loadTime, "--");
  EXPECT_EQ(t.speed, "--");

  // Total in KB (the record's is in MB); no load time yet.
  t = filedown::MakeSampleTexts(10485760, 1500, true, 2621440, 0);
  EXPECT_EQ(t.total, "10240.00");
  EXPECT_EQ(t.connect, "1.50");
  EXPECT_EQ(t.loaded, "2560.00");
  EXPECT_EQ(t.loadTime, "--");
  EXPECT_EQ(t.speed, "--");

  t = filedown::MakeSampleTexts(10485760, 1500, true, 2621440, 10000);
  EXPECT_EQ(t.loadTime, "10.00");
  EXPECT_EQ(t.speed, "256.00");
  // Nothing loaded: no speed to show.
  EXPECT_EQ(filedown::MakeSampleTexts(10485760, 1, true, 0, 10000).speed, "--");
  // Single precision: a 3 s load time is 3.0f.
  EXPECT_EQ(filedown::MakeSampleTexts(1, 1, true, 3072, 3000).speed, "1.00");
}

TEST_F(FileRecordTest, WritesFileRowAndSummary) {
  CDataBase::Instance().SetUserInfo(SampleUser(1));
  const std::string name =
      filedown::WriteFileRecordAt(SampleResult(true), LocalTime(2014, 5, 6, 7, 8, 9));
  ASSERT_EQ(name, "Pccollect_filedown_2014050607.dat");
  EXPECT_EQ(Read("Data\\" + name),
            codepage::Utf8ToGbk(filedown::RecordText(SampleResult(true), SampleUser(1), "1234",
                                                     "2014-05-06 07:08:09")));
  HistoryRecordList rows = Rows();
  ASSERT_EQ(rows.count, 1);
  EXPECT_EQ(rows.SpeedTime[0], "2014-05-06 07:08:09");
  EXPECT_EQ(rows.sType[0], "自动");
  EXPECT_EQ(rows.SpeedType[0], "文件下载");
  EXPECT_EQ(rows.sName[0], "10MB测试文件");
  EXPECT_EQ(rows.sQuota[0], "256.00 KB/s");
  EXPECT_NE(CDataBase::Instance().LastResult().find("平均速率：256.00 KB/s"), std::string::npos);

  // Same hour: the file is replaced; a manual run leaves the tray text alone.
  CDataBase::Instance().SetLastResult("kept");
  filedown::FileResult second = SampleResult(false);
  second.itemId = 7;
  EXPECT_EQ(filedown::WriteFileRecordAt(second, LocalTime(2014, 5, 6, 7, 59, 0)), name);
  const std::string replaced = codepage::GbkToUtf8(Read("Data\\" + name));
  EXPECT_NE(replaced.find("\nwebsite=7\n"), std::string::npos);
  EXPECT_EQ(replaced.find("\nwebsite=1\n"), std::string::npos);
  EXPECT_EQ(CDataBase::Instance().LastResult(), "kept");
  rows = Rows();
  ASSERT_EQ(rows.count, 2);
  EXPECT_EQ(rows.sType[0], "手动");
}

TEST_F(FileRecordTest, AuditedAccountsAndBadAddressesWriteNoFile) {
  CDataBase::Instance().SetUserInfo(SampleUser(6));
  std::string name =
      filedown::WriteFileRecordAt(SampleResult(true), LocalTime(2014, 5, 6, 7, 8, 9));
  EXPECT_FALSE(testsupport::Exists(At("Data\\" + name)));
  EXPECT_EQ(Rows().count, 1);
  // The summary is written whatever the audit state.
  EXPECT_NE(CDataBase::Instance().LastResult().find("10MB测试文件"), std::string::npos);

  CDataBase::Instance().SetUserInfo(SampleUser(8));
  filedown::FileResult bad = SampleResult(false);
  bad.url = "http://127.0.0.1/a\n---end---\n+++start+++";
  name = filedown::WriteFileRecordAt(bad, LocalTime(2014, 5, 6, 8, 0, 0));
  EXPECT_FALSE(testsupport::Exists(At("Data\\" + name)));
  EXPECT_TRUE(
      testsupport::Exists(At("Data\\" + filedown::WriteFileRecordAt(
                                            SampleResult(false), LocalTime(2014, 5, 6, 9, 0, 0)))));
}
