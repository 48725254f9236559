// The web page record, its history row, and the address rules of the web page test.

#include "webpage/web_record.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>

#include "core/data_base.h"
#include "history/history_record.h"
#include "history/sqlite_db.h"
#include "platform/codepage.h"
#include "record_test.h"
#include "test_support.h"

namespace {

using testsupport::LocalTime;

webpage::WebResult SampleResult(bool automatic) {
  webpage::WebResult r;
  r.automatic = automatic;
  r.url = "http://127.0.0.1:18050/portal/sina/index.html";
  r.firstScreen = 0.85f;
  return r;
}

class WebRecordTest : public testsupport::RecordTest {
 protected:
  void SetUser(int type) {
    UserInfo user;
    user.userId = "1234";
    user.address = "10.1.2.3";
    user.province = "北京";
    user.city = "朝阳区";
    user.userType = type;
    CDataBase::Instance().SetUserInfo(user);
  }
};

}  // namespace

TEST_F(WebRecordTest, WritesTheGoldenRecordAndItsHistoryRow) {
  SetUser(1);
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // a comma must not reach the record
  const std::string name =
      webpage::WriteWebRecordAt(SampleResult(false), LocalTime(2026, 12, 6, 11, 43, 55));
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(name, "Pccollect_screen_2026120611.dat");
  EXPECT_EQ(Read("Data\\" + name), testsupport::ReadFile(testsupport::SourcePath(
                                       "tests/webpage/golden/screen_record_manual.dat")));
  HistoryRecordList rows = Rows();
  ASSERT_EQ(rows.count, 1);
  EXPECT_EQ(rows.SpeedTime[0], "2026-12-06 11:43:55");
  EXPECT_EQ(rows.SpeedType[0], "网页测速");
  EXPECT_EQ(rows.sName[0], SampleResult(false).url);
  EXPECT_EQ(rows.sQuota[0], "0.850 s");
  EXPECT_EQ(rows.sType[0], "手动");
  // Manual runs leave the tray's text alone.
  EXPECT_EQ(CDataBase::Instance().LastResult(), "暂无测速记录");

  // A second test in the same hour replaces the file.
  webpage::WebResult automatic = SampleResult(true);
  automatic.checktype = 1;
  automatic.firstScreen = 9.9996f;
  webpage::WriteWebRecordAt(automatic, LocalTime(2026, 12, 6, 11, 59, 1));
  const std::string text = codepage::GbkToUtf8(Read("Data\\" + name));
  EXPECT_EQ(text.rfind("+++start+++\n", 0), 0u);
  EXPECT_EQ(text.find("+++start+++", 1), std::string::npos);
  EXPECT_NE(text.find("firstscreentime=10.000\n"), std::string::npos);
  EXPECT_NE(text.find("dtime=2026-12-06 11:59:01\ntesttype=0\nchecktype=1\n---end---"),
            std::string::npos);
  EXPECT_EQ(CDataBase::Instance().LastResult(),
            "最近一次网页性能结果：\n网站地址：" + automatic.url +
                "\n首屏时间：10.000s\n测速时间：2026-12-06 11:59:01");
  EXPECT_EQ(Rows().count, 2);
}

TEST_F(WebRecordTest, AccountsUnderAuditAndBrokenAddressesGetNoFile) {
  for (int type : {5, 6, 7}) {
    SetUser(type);
    webpage::WriteWebRecordAt(SampleResult(false), LocalTime(2026, 12, 6, 10 + type, 0, 0));
  }
  SetUser(8);  // approved again
  webpage::WebResult broken = SampleResult(false);
  broken.url = "http://a.example/\nfirstscreentime=0.001";
  webpage::WriteWebRecordAt(broken, LocalTime(2026, 12, 6, 20, 0, 0));
  EXPECT_TRUE(std::filesystem::is_empty(At("Data")));
  EXPECT_EQ(Rows().count, 4);  // the history keeps every test

  webpage::WriteWebRecordAt(SampleResult(false), LocalTime(2026, 12, 6, 21, 0, 0));
  EXPECT_TRUE(testsupport::Exists(At("Data/Pccollect_screen_2026120621.dat")));
}

TEST(WebAddress, TheScreensCheckFollowsItsPattern) {
  for (const char* good :
       {"www.example.com", "example.com", "http://a.b", "https://a-b.c_d/x?y=1",
        "ftp://files.example.net/a", "a.b/path with space", "www.example.com\nsecond line"})
    EXPECT_TRUE(webpage::AddressLooksValid(good)) << good;
  for (const char* bad : {"", "word", "localhost", "file:///etc/passwd", "javascript:alert(1)",
                          "gopher://a.b", "http://", ".com", "http//a.b"})
    EXPECT_FALSE(webpage::AddressLooksValid(bad)) << bad;
}

TEST(WebAddress, OnlyWebAddressesReachTheBrowser) {
  EXPECT_EQ(webpage::BrowserAddress("www.example.com"), "http://www.example.com");
  EXPECT_EQ(webpage::BrowserAddress("127.0.0.1:18050/portal/a/index.html"),
            "http://127.0.0.1:18050/portal/a/index.html");
  EXPECT_EQ(webpage::BrowserAddress("HTTPS://a.b/"), "HTTPS://a.b/");
  EXPECT_EQ(webpage::BrowserAddress("http://a.b/?q=1"), "http://a.b/?q=1");
  for (const char* refused :
       {"", "ftp://files.example.net/a", "file:///etc/passwd", "javascript:alert(1)",
        "data:text/html,x", "http://", "www.example.com\nsecond", "a.b/\x7f", "/etc/passwd",
        "JavaScript:void(0)", "about:blank"})
    EXPECT_EQ(webpage::BrowserAddress(refused), "") << refused;
}

TEST(WebAddress, TheSuffixHasNoYear) {
  EXPECT_EQ(webpage::CacheSuffix(LocalTime(2026, 12, 6, 11, 43, 55)), "?Y1206114355");
  EXPECT_EQ(webpage::CacheSuffix(LocalTime(2027, 1, 2, 3, 4, 5)), "?Y0102030405");
  EXPECT_EQ(webpage::FirstScreenText(0.8504), "首屏时间:0.850s");
}

TEST(WebAddress, TheConnectionCheckConnectsToTheAddressPort) {
  const int listening = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listening, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(listening, 4), 0);
  socklen_t size = sizeof a;
  getsockname(listening, reinterpret_cast<sockaddr*>(&a), &size);
  const std::string port = std::to_string(ntohs(a.sin_port));
  EXPECT_TRUE(webpage::CanConnect("http://127.0.0.1:" + port + "/x.html", 5000));
  close(listening);
  EXPECT_FALSE(webpage::CanConnect("http://127.0.0.1:" + port + "/x.html", 5000));
  EXPECT_FALSE(webpage::CanConnect("not an address", 5000));
}

TEST_F(WebRecordTest, SitesComeFromTheShippedList) {
  CopyFromDist("Config/websites.xml");
  EXPECT_EQ(webpage::SiteAddress(25), "http://127.0.0.1:18050/portal/dnspod/index.html");
  EXPECT_EQ(webpage::SiteAddress(0), "http://127.0.0.1:18050/portal/baidunews/index.html");
  EXPECT_EQ(webpage::SiteAddress(9), "");
  Write("Config\\websites.xml", "<websites><site no=\"3\">broken");
  EXPECT_EQ(webpage::SiteAddress(25), "");
}
