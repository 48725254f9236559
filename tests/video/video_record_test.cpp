#include "video/video_record.h"

#include <gtest/gtest.h>

#include "core/data_base.h"
#include "history/history_record.h"
#include "history/sqlite_db.h"
#include "platform/codepage.h"
#include "record_test.h"
#include "test_support.h"

namespace {

using testsupport::LocalTime;
using testsupport::SampleUser;

video::VideoResult SampleResult(bool automatic, const std::string& loadsize = "4999") {
  video::VideoResult r;
  r.automatic = automatic;
  r.checktype = 1;
  r.url = "http://v.youku.com/v_show/id_XNzA2.html?a=1&b=2";
  r.fields = {"900", "1.2", "5000", "450", loadsize, "11", "true"};
  return r;
}

using VideoRecordTest = testsupport::RecordTest;

}  // namespace

TEST(VideoRecordText, MatchesTheGoldenFiles) {
  const std::string manual = video::RecordText(SampleResult(false), SampleUser(1), "1234",
                                               video::RecordTime(LocalTime(2014, 5, 6, 7, 8, 9)));
  EXPECT_EQ(codepage::Utf8ToGbk(manual), testsupport::ReadFile(testsupport::SourcePath(
                                             "tests/video/golden/videospeed_record_manual.dat")));
  // Automatic: testtype 0 and the cycle's check type; loadsize one short of 5000 - 1.
  const std::string automatic =
      video::RecordText(SampleResult(true, "4998"), SampleUser(1), "1234",
                        video::RecordTime(LocalTime(2014, 5, 6, 7, 8, 9)));
  EXPECT_EQ(codepage::Utf8ToGbk(automatic), testsupport::ReadFile(testsupport::SourcePath(
                                                "tests/video/golden/videospeed_record_auto.dat")));
  EXPECT_EQ(video::RecordFileName(LocalTime(2014, 5, 6, 7, 8, 9)),
            "Pccollect_videospeed_2014050607.dat");
}

TEST(VideoRecordText, CompletionRuleAndSites) {
  video::VideoResult r = SampleResult(false);
  EXPECT_EQ(video::IfCompleted(r), 1);  // 4999 >= 5000 - 1
  r.fields[4] = "4998";
  EXPECT_EQ(video::IfCompleted(r), 0);
  r.fields[4] = "5000.9";  // integer values only
  r.fields[2] = "5001.9";
  EXPECT_EQ(video::IfCompleted(r), 1);
  r.fields[4] = "abc";  // no number reads as 0
  r.fields[2] = "1";
  EXPECT_EQ(video::IfCompleted(r), 1);
  r.fields[2] = "99999999999999999999";  // out of range does not wrap to a small value
  EXPECT_EQ(video::IfCompleted(r), 0);

  EXPECT_STREQ(video::SiteEntryOf("http://v.youku.com/x").mediatype, "1");
  EXPECT_STREQ(video::SiteEntryOf("http://v.youku.com/x").name, "优酷");
  EXPECT_STREQ(video::SiteEntryOf("http://example.com/a.mp4").mediatype, "0");
  EXPECT_STREQ(video::SiteEntryOf("http://example.com/a.mp4").name, "其他");
  // The record's order, not the resolvers': ku6 before youku.
  EXPECT_STREQ(video::SiteEntryOf("http://youku.ku6.com/").mediatype, "3");
  EXPECT_STREQ(video::SiteEntryOf("http://tv.sohu.com/").mediatype, "10");
  EXPECT_STREQ(video::SiteEntryOf("http://v.ifeng.com/").name, "凤凰");
}

TEST(VideoRecordText, RequestsEscapeTheAddress) {
  EXPECT_EQ(video::ManualStartRequest("http://h/a.mp4?x=1&y=<2>"),
            "<invoke name=\"videoStartPaly\" returntype=\"xml\"><arguments><string>"
            "http://h/a.mp4?x=1&amp;y=&lt;2&gt;</string></arguments></invoke>");
  EXPECT_EQ(video::AutomaticStartRequest("u"),
            "<invoke name=\"autoVideoStartPaly\" returntype=\"xml\"><arguments><string>u"
            "</string></arguments></invoke>");
  EXPECT_EQ(video::StopRequest("u"),
            "<invoke name=\"videoStopPaly\" returntype=\"xml\"><arguments><string>u"
            "</string></arguments></invoke>");
}

TEST(VideoRecordText, InfoFieldsSplitAndDropEmptyOnes) {
  const std::string call =
      "<invoke name=\"VideoInfomation\" returntype=\"xml\"><arguments><string>"
      "900#1.2#5000#450#4999#11#true</string></arguments></invoke>";
  EXPECT_EQ(video::InfoFields(call),
            (std::vector<std::string>{"900", "1.2", "5000", "450", "4999", "11", "true"}));
  // One empty field between two "#": six fields, not a result.
  EXPECT_EQ(video::InfoFields("VideoInfomation<string>900#1.2##450#4999#11#true</string>").size(),
            6u);
  EXPECT_TRUE(video::InfoFields("VideoInfomation<string>no end").empty());
  EXPECT_TRUE(video::InfoFields("<string>1#2</string>").empty());  // no name before it
  EXPECT_TRUE(video::InfoFields("").empty());
  EXPECT_EQ(video::InfoFields("VideoInfomation<string>##a##</string>"),
            std::vector<std::string>{"a"});
}

TEST_F(VideoRecordTest, WritesFileRowAndSummary) {
  CDataBase::Instance().SetUserInfo(SampleUser(1));
  video::VideoResult automatic = SampleResult(true);
  automatic.url = "http://v.youku.com/v_show/id_XNzA2MDQ0NTQ4.html?spm=a2h0k.8191407.0.0&from=s1";
  const std::string name = video::WriteVideoRecordAt(automatic, LocalTime(2014, 5, 6, 7, 8, 9));
  ASSERT_EQ(name, "Pccollect_videospeed_2014050607.dat");
  EXPECT_EQ(Read("Data\\" + name), codepage::Utf8ToGbk(video::RecordText(
                                       automatic, SampleUser(1), "1234", "2014-05-06 07:08:09")));
  HistoryRecordList rows = Rows();
  ASSERT_EQ(rows.count, 1);
  EXPECT_EQ(rows.SpeedTime[0], "2014-05-06 07:08:09");
  EXPECT_EQ(rows.SpeedType[0], "视频测速");
  EXPECT_EQ(rows.sName[0], "优酷");
  EXPECT_EQ(rows.sQuota[0], "450 KB/s");
  EXPECT_EQ(rows.sType[0], "自动");
  // The summary cuts the address to 50 characters; the record keeps it whole.
  EXPECT_EQ(CDataBase::Instance().LastResult(),
            "最近一次视频测速结果:\n视频地址:\n" + automatic.url.substr(0, 50) +
                "平均速率:450 KB/s\n测速时间:2014-05-06 07:08:09");
  EXPECT_NE(Read("Data\\" + name).find(automatic.url), std::string::npos);

  // A manual run in the same hour replaces the file, writes check type 0 and keeps the tray.
  CDataBase::Instance().SetLastResult("kept");
  video::VideoResult manual = SampleResult(false);
  manual.url = "http://127.0.0.1/media/clip.mp4";
  EXPECT_EQ(video::WriteVideoRecordAt(manual, LocalTime(2014, 5, 6, 7, 59, 0)), name);
  const std::string replaced = codepage::GbkToUtf8(Read("Data\\" + name));
  EXPECT_NE(replaced.find("\t url=http://127.0.0.1/media/clip.mp4\r\n"), std::string::npos);
  EXPECT_NE(replaced.find("\t mediatype=0\r\n"), std::string::npos);
  EXPECT_NE(replaced.find("\t checktype=0\r\n"), std::string::npos);
  EXPECT_EQ(CDataBase::Instance().LastResult(), "kept");
  rows = Rows();
  ASSERT_EQ(rows.count, 2);
  EXPECT_EQ(rows.sType[0], "手动");
  EXPECT_EQ(rows.sName[0], "其他");
}

TEST_F(VideoRecordTest, AuditedAccountsAndBadAddressesWriteNoFile) {
  CDataBase::Instance().SetUserInfo(SampleUser(6));
  std::string name = video::WriteVideoRecordAt(SampleResult(true), LocalTime(2014, 5, 6, 7, 8, 9));
  EXPECT_FALSE(testsupport::Exists(At("Data\\" + name)));
  EXPECT_EQ(Rows().count, 1);
  EXPECT_NE(CDataBase::Instance().LastResult().find("450 KB/s"), std::string::npos);

  CDataBase::Instance().SetUserInfo(SampleUser(8));
  video::VideoResult bad = SampleResult(false);
  bad.url = "http://127.0.0.1/a\r\n---end---\r\n+++start+++";
  name = video::WriteVideoRecordAt(bad, LocalTime(2014, 5, 6, 8, 0, 0));
  EXPECT_FALSE(testsupport::Exists(At("Data\\" + name)));
  EXPECT_TRUE(testsupport::Exists(At(
      "Data\\" + video::WriteVideoRecordAt(SampleResult(false), LocalTime(2014, 5, 6, 9, 0, 0)))));
}
