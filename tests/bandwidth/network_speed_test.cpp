#include "bandwidth/network_speed.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>

#include "band_test_env.h"
#include "core/data_base.h"
#include "core/http_download_get.h"
#include "core/http_transport.h"
#include "history/history_record.h"
#include "history/sqlite_db.h"
#include "lab_fixture.h"
#include "platform/codepage.h"

namespace fs = std::filesystem;

namespace {

// The lab's test server for these tests; other suites use other loopback addresses.
constexpr const char* kServerAddress = "127.0.8.2";
constexpr const char* kOtherAddress = "127.0.8.3";
constexpr const char* kDeadAddress = "127.0.8.9";

std::string Unzip(const std::string& zip) {
  return testsupport::CommandOutput("unzip -p '" + zip + "' 2>/dev/null");
}

class NetworkSpeedTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("DB/Geo_CN.db");
    Write("Config\\addr_server.xml",
          "<s><province-array name=\"北京\" nas=\"N\" near=\"\">"
          "<server>北京联通</server><server>北京电信</server><server>北京死机</server>"
          "</province-array></s>");
    Write("Config\\dest_config.xml",
          std::string("<d><destip name=\"北京电信\" value=\"") + kServerAddress + ":1101:1\"/>" +
              "<destip name=\"北京联通\" value=\"" + kOtherAddress + ":1102:1\"/>" +
              "<destip name=\"北京死机\" value=\"" + kDeadAddress + ":1109:1\"/></d>");
    Write("Config\\operator_config.xml",
          "<o><operator>电信</operator><operator>联通</operator></o>");
    Write("conf\\config.properties",
          "url_down_file=50MB.rar\nupload_local_file_path=TestFile\\up.rar\n");
    Write("conf\\l_c_config_01.properties", "userid=1234\nupload_method=m1\n");
    // Big enough that the lab's request log (4000 entries) keeps a whole test.
    Write("TestFile\\up.rar", std::string(2 << 20, 'u'));
    CDataBase::Instance().SetUserInfo(BeijingTelecomUser());

    CNetWorkSpeed::SetTimings({std::chrono::milliseconds(200), std::chrono::milliseconds(100),
                               std::chrono::milliseconds(100)});
    // 15 samples take 1.7 s; the rest is room for a loaded machine.
    CHttpDownloadGet::SetDurationsForTest(2500, 2500);
    // Short enough for the silent-server cases, long enough for a loaded (sanitized) run.
    transport::SetTextTimeoutsForTest(3000, 3000);
  }
  void TearDown() override {
    CNetWorkSpeed::SetTimings({});
    CHttpDownloadGet::SetDurationsForTest(0, 0);
    transport::SetTextTimeoutsForTest(0, 0);
    ProgramFolderTest::TearDown();
  }

  std::unique_ptr<LabProcess> StartLab(std::vector<std::string> extra = {}) {
    std::vector<std::string> flags = {"--test", std::string("--test-addr=") + kServerAddress,
                                      "--test-port=8080"};
    flags.insert(flags.end(), extra.begin(), extra.end());
    auto lab = StartLabOnFixedPort(flags);
    EXPECT_TRUE(lab->Started()) << lab->Error();
    return lab;
  }

  void RunManual(CNetWorkSpeed& engine, RecordingListener& listener) {
    engine.SetListener(&listener);
    engine.mode = 0;
    engine.quiet = false;
    ASSERT_TRUE(engine.StartManual());
    engine.WaitUntilIdle();
    EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  }

  std::vector<std::string> Packages() {
    std::vector<std::string> zips;
    for (const auto& e : fs::directory_iterator(At("Data"))) {
      if (e.path().extension() == ".zip") zips.push_back(e.path().string());
    }
    return zips;
  }

  int HistoryRows(HistoryRecordList* list = nullptr) {
    HistoryRecordList rows;
    CSqliteDb db(history::DatabasePath("1234"));
    const int n = db.ReadHistory("", rows);
    if (list) *list = rows;
    return n;
  }
};

}  // namespace

TEST_F(NetworkSpeedTest, ManualTestTalksToTheServerAndLeavesItsRecord) {
  auto lab = StartLab();
  CNetWorkSpeed engine;
  EXPECT_EQ(engine.CurrentServer(), "北京电信");
  RecordingListener listener;
  RunManual(engine, listener);

  EXPECT_EQ(listener.Codes(), (std::vector<int>{2000, 2001, 1009}));
  EXPECT_TRUE(listener.Asked().empty());
  // 15 live rates and a closing 0 per phase, all before the phase's result.
  int live = 0, zeros = 0;
  for (const auto& e : listener.Events()) {
    if (e.code != speedcode::kLiveRate) continue;
    ++live;
    if (e.value == 0) ++zeros;
  }
  EXPECT_EQ(live, 32);
  EXPECT_GE(zeros, 2);
  const UpdateEvent done = listener.Events().back();
  EXPECT_TRUE(std::regex_match(done.downAverage, std::regex(R"(\d+\.\d\d)"))) << done.downAverage;
  EXPECT_TRUE(std::regex_match(done.downRate, std::regex(R"(\d+\.\dM)"))) << done.downRate;
  EXPECT_TRUE(std::regex_match(done.upAverage, std::regex(R"(\d+\.\d\d)"))) << done.upAverage;

  // The requests: a slot with a random key, five connections per phase with r and the
  // server's key, then the release of that key.
  const auto requests = lab->Requests("test");
  ASSERT_FALSE(requests.empty());
  std::smatch m;
  ASSERT_TRUE(std::regex_match(requests[0].target, m,
                               std::regex(R"(/speed/dovalid\?key=(\d{1,5})&flag=true)")))
      << requests[0].target;
  const std::string key = m[1];
  int downloads = 0, uploads = 0, releases = 0;
  const std::regex r(R"(r=\d+\.\d{17}&key=)" + key);
  for (const auto& req : requests) {
    if (req.target.rfind("/speed/50MB.rar?", 0) == 0) {
      ++downloads;
      EXPECT_TRUE(std::regex_search(req.target, r)) << req.target;
    } else if (req.target.rfind("/speed/doload.do?", 0) == 0) {
      ++uploads;
      EXPECT_TRUE(std::regex_search(req.target, r)) << req.target;
    } else if (req.method == "POST" && req.target == "/speed/dovalid?") {
      ++releases;
    }
  }
  EXPECT_GE(downloads, 5);
  EXPECT_GE(uploads, 5);
  EXPECT_EQ(releases, 1);
  EXPECT_NE(lab->Stats("test").all["released"].find(key), std::string::npos);

  // The record went into its package; the history has the manual row.
  const auto zips = Packages();
  ASSERT_EQ(zips.size(), 1u);
  EXPECT_NE(zips[0].find("_1024_Pccollect_band_1234.zip"), std::string::npos);
  EXPECT_EQ(fs::path(zips[0]).filename().string(), engine.LastPackageName());
  const std::string record = codepage::GbkToUtf8(Unzip(zips[0]));
  EXPECT_EQ(record.rfind("+++start+++\nmonitorid=1101\n", 0), 0u) << record;
  EXPECT_NE(record.find("\ntesttype=1\n"), std::string::npos);
  // No probe library in this folder: no ping replies, so the ping time is 10.
  EXPECT_NE(record.find("\npingrtt=10.0\n"), std::string::npos);
  EXPECT_NE(record.find("\nlocation=北京  北京\n"), std::string::npos);
  EXPECT_EQ(record.substr(record.size() - 10), "\n---end---");
  EXPECT_EQ(engine.LastRecordName().rfind("Pccollect_band_", 0), 0u);
  HistoryRecordList rows;
  ASSERT_EQ(HistoryRows(&rows), 1);
  EXPECT_EQ(rows.sType[0], "手动");
  EXPECT_EQ(rows.sName[0], "北京电信");
  const auto result = engine.LastResult();
  EXPECT_EQ(result.down.size(), 15u);
  EXPECT_EQ(result.up.size(), 15u);
}

TEST_F(NetworkSpeedTest, SlotRefusalsAndFailures) {
  struct Case {
    const char* mode;
    int code;
    const char* message;
  };
  const Case cases[] = {
      {"busy", 1004, "服务器忙，请稍后再试！"},
      {"one", 1005, "执行请求验证失败，测速服务器异常！"},
      {"fail500", 1005, "执行请求验证失败，测速服务器异常！"},
      {"empty", 1005, "执行请求验证失败，测速服务器异常！"},
  };
  auto lab = StartLab();
  CNetWorkSpeed engine;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    ASSERT_TRUE(lab->Set("test", "dovalid", c.mode));
    lab->Reset("test");
    RecordingListener listener;
    RunManual(engine, listener);
    ASSERT_EQ(listener.Events().size(), 1u);
    EXPECT_EQ(listener.Events()[0].code, c.code);
    EXPECT_EQ(listener.Events()[0].message, c.message);
    EXPECT_EQ(lab->Requests("test").size(), 1u);  // nothing after the slot request
  }

  // A server that takes the request and never answers: the request times out.
  ASSERT_TRUE(lab->Set("test", "dovalid", "ok"));
  ASSERT_TRUE(lab->SetFault("test", "/speed/dovalid", "stallhead"));
  {
    RecordingListener listener;
    RunManual(engine, listener);
    EXPECT_EQ(listener.Codes(), (std::vector<int>{1005}));
  }
  lab->ClearFaults("test");

  // A server that is not there at all.
  engine.SetCurrentServer("北京死机");
  RecordingListener listener;
  listener.SetAnswer(1);
  RunManual(engine, listener);
  EXPECT_EQ(listener.Codes(), (std::vector<int>{1003, 1005}));
  EXPECT_EQ(HistoryRows(), 0);
  EXPECT_TRUE(Packages().empty());
}

TEST_F(NetworkSpeedTest, ServerChoiceQuestions) {
  auto lab = StartLab();
  Write("Config\\settings1234.xml",
        "<settings><contband><bandmap id=\"1\">10M</bandmap><bandmap id=\"2\">100M</bandmap>"
        "</contband></settings>");
  {
    // What the screen fills its lists with.
    CNetWorkSpeed engine;
    EXPECT_EQ(engine.ProposedOperator(), "电信");
    const std::vector<std::pair<std::string, std::string>> bands = {{"1", "10M"}, {"2", "100M"}};
    EXPECT_EQ(engine.ContractedBandwidths(), bands);
  }
  {
    CNetWorkSpeed engine;
    engine.SetCurrentServer("北京联通");
    RecordingListener no;
    no.SetAnswer(0);
    RunManual(engine, no);
    EXPECT_EQ(no.Asked(), (std::vector<int>{1003}));
    EXPECT_TRUE(lab->Requests("test").empty());
  }
  // The user moved since the engine chose: the question comes even for the chosen server.
  {
    CNetWorkSpeed engine;
    UserInfo moved = BeijingTelecomUser();
    moved.locatedProvinceId = 120000;
    CDataBase::Instance().SetUserInfo(moved);
    RecordingListener no;
    no.SetAnswer(0);
    RunManual(engine, no);
    EXPECT_EQ(no.Asked(), (std::vector<int>{1003}));
    EXPECT_TRUE(lab->Requests("test").empty());
  }
  // No located province: no automatic choice, 1002 and nothing sent.
  UserInfo nowhere = BeijingTelecomUser();
  nowhere.locatedProvinceId = 999999;
  CDataBase::Instance().SetUserInfo(nowhere);
  CNetWorkSpeed engine;
  EXPECT_FALSE(engine.Automatic().Exists());
  RecordingListener listener;
  RunManual(engine, listener);
  ASSERT_EQ(listener.Events().size(), 1u);
  EXPECT_EQ(listener.Events()[0].code, 1002);
  EXPECT_EQ(listener.Events()[0].message, "未匹配到测速服务器，请手动选择！");
  EXPECT_TRUE(lab->Requests("test").empty());
}

TEST_F(NetworkSpeedTest, FailedPhasesReportAndGiveTheSlotBack) {
  auto lab = StartLab();
  CNetWorkSpeed engine;
  Write("conf\\config.properties",
        "url_down_file=nosuchfile\nupload_local_file_path=TestFile\\up.rar\n");
  RecordingListener down;
  RunManual(engine, down);
  EXPECT_EQ(down.Codes(), (std::vector<int>{1007}));
  EXPECT_EQ(down.Events().back().message, "下载测速失败！");
  EXPECT_EQ(lab->Stats("test").all["releases"], "1");

  Write("conf\\config.properties",
        "url_down_file=50MB.rar\nupload_local_file_path=TestFile\\gone.rar\n");
  RecordingListener up;
  RunManual(engine, up);
  EXPECT_EQ(up.Codes(), (std::vector<int>{2000, 1008}));
  EXPECT_EQ(up.Events().back().message, "上传测速失败！");
  EXPECT_EQ(lab->Stats("test").all["releases"], "2");
  EXPECT_EQ(HistoryRows(), 0);
}

TEST_F(NetworkSpeedTest, ShortPhaseCompletesButWritesNothing) {
  auto lab = StartLab();
  // About nine samples fit into the upload time (six suffice for an average, fifteen would
  // take 3.2 s): results are shown, nothing is written or sent.
  CNetWorkSpeed::SetTimings({std::chrono::milliseconds(200), std::chrono::milliseconds(200),
                             std::chrono::milliseconds(100)});
  CHttpDownloadGet::SetDurationsForTest(4000, 2000);
  CNetWorkSpeed engine;
  RecordingListener listener;
  RunManual(engine, listener);
  EXPECT_EQ(listener.Codes(), (std::vector<int>{2000, 2001, 1009}));
  EXPECT_LT(engine.LastResult().up.size(), 15u);
  EXPECT_EQ(HistoryRows(), 0);
  EXPECT_TRUE(Packages().empty());
  EXPECT_TRUE(engine.LastRecordName().empty());
}

TEST_F(NetworkSpeedTest, AuditedAccountGetsARowButNoRecord) {
  auto lab = StartLab();
  CDataBase::Instance().SetUserInfo(BeijingTelecomUser(6));
  CNetWorkSpeed engine;
  RecordingListener listener;
  RunManual(engine, listener);
  EXPECT_EQ(listener.Codes(), (std::vector<int>{2000, 2001, 1009}));
  EXPECT_EQ(HistoryRows(), 1);
  EXPECT_TRUE(Packages().empty());
  for (const auto& e : fs::directory_iterator(At("Data"))) {
    EXPECT_NE(e.path().extension(), ".dat") << e.path();
  }
}

TEST_F(NetworkSpeedTest, AutomaticRunQueuedThenRetriedWithTheStoredKey) {
  auto lab = StartLab({"--test-dovalid=queued", "--test-queue=1"});
  CNetWorkSpeed engine;
  RecordingListener listener;
  engine.SetListener(&listener);
  engine.quiet = true;

  EXPECT_EQ(engine.StartAuto(0, 1, 0), 1);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  const std::string key = engine.StoredKey();
  ASSERT_FALSE(key.empty());
  auto requests = lab->Requests("test");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/speed/dovalid?key=" + key + "&flag=false");

  const int completed = CDataBase::Instance().autoCompletedCount.load();
  EXPECT_EQ(engine.StartAuto(1, 1, 0), 2);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  requests = lab->Requests("test");
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[1].target, "/speed/dovalid?key=" + key + "&flag=false");
  EXPECT_EQ(CDataBase::Instance().autoCompletedCount.load(), completed + 1);
  // Quiet: no live rates; nothing asked.
  EXPECT_TRUE(listener.Events().empty());

  const auto zips = Packages();
  ASSERT_EQ(zips.size(), 1u);
  const std::string record = codepage::GbkToUtf8(Unzip(zips[0]));
  EXPECT_NE(record.find("\ntesttype=0\n"), std::string::npos) << record;
  HistoryRecordList rows;
  ASSERT_EQ(HistoryRows(&rows), 1);
  EXPECT_EQ(rows.sType[0], "自动");
  EXPECT_NE(CDataBase::Instance().LastResult().find("最近一次带宽测速结果"), std::string::npos);

  // Giving up a held request releases the stored key. (Transfer connections of the test
  // that were still closing may show up in the log too.)
  lab->Reset("test");
  engine.AbandonTest();
  int releases = 0;
  for (const auto& r : lab->Requests("test")) {
    if (r.method == "POST" && r.target == "/speed/dovalid?") ++releases;
  }
  EXPECT_EQ(releases, 1);
  // Once at the end of the test, once now.
  EXPECT_EQ(lab->Stats("test").all["released"], key + " " + key);
}

TEST_F(NetworkSpeedTest, AutomaticRunsThatEndEarly) {
  auto lab = StartLab({"--test-dovalid=busy"});
  CNetWorkSpeed engine;
  EXPECT_EQ(engine.StartAuto(0, 1, 0), 0);
  EXPECT_EQ(lab->Requests("test").size(), 1u);
  ASSERT_TRUE(lab->Set("test", "dovalid", "fail500"));
  EXPECT_EQ(engine.StartAuto(0, 1, 0), 0);  // empty reply: an unknown status
  ASSERT_TRUE(lab->Set("test", "dovalid", "ok"));
  // Only in automatic mode with testing switched on is the result written and counted.
  CDataBase::Instance().testRunEnabled = 1;
  EXPECT_EQ(engine.StartAuto(0, 0, 0), 2);
  bool flagTrue = false;
  for (const auto& r : lab->Requests("test")) {
    if (r.target.find("&flag=true") != std::string::npos) flagTrue = true;
  }
  EXPECT_TRUE(flagTrue);
  EXPECT_EQ(HistoryRows(), 0);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);

  const std::string log = codepage::GbkToUtf8(Read("log\\" + [] {
    char day[32];
    std::time_t now = std::time(nullptr);
    std::strftime(day, sizeof day, "%Y-%m-%d.log", std::localtime(&now));
    return std::string(day);
  }()));
  EXPECT_NE(log.find("自动带宽测速开始"), std::string::npos);
  EXPECT_NE(log.find("等待队列已满，放弃此次请求"), std::string::npos);
  EXPECT_NE(log.find("自动带宽测速结束（测速失败）"), std::string::npos);
  EXPECT_NE(log.find("自动带宽测速结束\n"), std::string::npos);

  // A dead server ends the run after the failed slot request.
  lab->Stop();
  EXPECT_EQ(engine.StartAuto(0, 1, 0), 0);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
}

TEST_F(NetworkSpeedTest, AutomaticRunThatMovesNothingFails) {
  auto lab = StartLab();
  CDataBase::Instance().testRunEnabled = 1;
  CNetWorkSpeed engine;
  engine.quiet = true;
  // The slot is granted, then every transfer is answered 404: fifteen zero samples a phase.
  ASSERT_TRUE(lab->SetFault("test", "/speed/50MB.rar", "404"));
  ASSERT_TRUE(lab->SetFault("test", "/speed/doload.do", "404"));
  const int completed = CDataBase::Instance().autoCompletedCount.load();
  EXPECT_EQ(engine.StartAuto(0, 1, 0), 0);
  EXPECT_EQ(lab->Stats("test").all["releases"], "1");  // the slot still goes back
  // The download moving nothing ends the run before the upload.
  for (const auto& r : lab->Requests("test")) EXPECT_NE(r.target.rfind("/speed/doload.do", 0), 0u);

  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  EXPECT_EQ(CDataBase::Instance().autoCompletedCount.load(), completed);
  EXPECT_EQ(HistoryRows(), 0);
  EXPECT_TRUE(engine.LastRecordName().empty());
  for (const auto& e : fs::directory_iterator(At("Data"))) ADD_FAILURE() << e.path();
}

// Two candidate servers; the user's location moves between the queued answer and the retry,
// so a fresh draw would pick the other server.
TEST_F(NetworkSpeedTest, QueuedRetryAndReleaseGoToTheServerThatIssuedTheKey) {
  constexpr const char* kGuangzhou = "127.0.8.21";
  constexpr const char* kShenzhen = "127.0.8.22";
  Write("Config\\addr_server.xml",
        "<s><province-array name=\"广东\" nas=\"\" near=\"\">"
        "<server>广东电信广州市</server><server>广东电信深圳市</server></province-array></s>");
  Write("Config\\dest_config.xml",
        std::string("<d><destip name=\"广东电信广州市\" value=\"") + kGuangzhou + ":1201:1\"/>" +
            "<destip name=\"广东电信深圳市\" value=\"" + kShenzhen + ":1202:1\"/></d>");
  auto lab = [](const char* address) {
    auto l = StartLabOnFixedPort({"--test", std::string("--test-addr=") + address,
                                  "--test-port=8080", "--test-dovalid=queued", "--test-queue=1"});
    EXPECT_TRUE(l->Started()) << l->Error();
    return l;
  };
  auto guangzhou = lab(kGuangzhou);
  auto shenzhen = lab(kShenzhen);
  UserInfo user = BeijingTelecomUser();
  user.locatedProvinceId = 440000;
  user.locatedCityId = 440100;
  CDataBase::Instance().SetUserInfo(user);
  CDataBase::Instance().testRunEnabled = 1;

  CNetWorkSpeed engine;
  engine.quiet = true;
  EXPECT_EQ(engine.StartAuto(0, 1, 0), 1);
  EXPECT_EQ(guangzhou->Stats("test").all["slot_requests"], "1");
  const std::string key = engine.StoredKey();

  user.locatedCityId = 440300;
  CDataBase::Instance().SetUserInfo(user);
  EXPECT_EQ(engine.StartAuto(1, 1, 0), 2);
  EXPECT_EQ(guangzhou->Stats("test").all["slot_requests"], "2");
  EXPECT_EQ(guangzhou->Stats("test").all["released"], key);
  EXPECT_EQ(shenzhen->Stats("test").requests, 0);
  EXPECT_EQ(engine.LastResult().serverName, "广东电信广州市");

  // Queued at Shenzhen this time; the screen then shows Guangzhou. Giving up the request
  // releases the key where it waits.
  EXPECT_EQ(engine.StartAuto(0, 1, 0), 1);
  EXPECT_EQ(shenzhen->Stats("test").all["slot_requests"], "1");
  engine.SetCurrentServer("广东电信广州市");
  engine.AbandonTest();
  EXPECT_EQ(shenzhen->Stats("test").all["released"], engine.StoredKey());
  EXPECT_EQ(guangzhou->Stats("test").all["releases"], "1");
}

TEST_F(NetworkSpeedTest, OneTestAtATime) {
  auto lab = StartLab();
  CDataBase::Instance().testRunEnabled = 1;
  CNetWorkSpeed engine;
  RecordingListener listener;
  engine.SetListener(&listener);
  engine.quiet = true;
  auto transferring = [&lab] {
    return lab->WaitUntil("test", [](const LabStats& s) { return s.requests >= 3; });
  };

  // A manual start during an automatic run gets the busy message and sends nothing; a
  // catalogue reload waits for the run to end.
  std::atomic<int> automatic{-1};
  std::thread scheduler([&] { automatic = engine.StartAuto(0, 1, 0); });
  ASSERT_TRUE(transferring());
  std::string releasesAtReload;
  std::thread reload([&] {
    engine.Reload();
    releasesAtReload = lab->Stats("test").all["releases"];
  });
  ASSERT_TRUE(engine.StartManual());
  engine.WaitUntilIdle();
  ASSERT_EQ(listener.Events().size(), 1u);
  EXPECT_EQ(listener.Events()[0].code, 1004);
  EXPECT_EQ(listener.Events()[0].message, "服务器忙，请稍后再试！");
  EXPECT_EQ(listener.Asked(), (std::vector<int>{1004}));
  scheduler.join();
  reload.join();
  EXPECT_EQ(automatic.load(), 2);
  EXPECT_EQ(releasesAtReload, "1");
  EXPECT_EQ(lab->Stats("test").all["slot_requests"], "1");
  HistoryRecordList rows;
  ASSERT_EQ(HistoryRows(&rows), 1);
  EXPECT_EQ(rows.sType[0], "自动");

  // An automatic start during a manual test is put off (1) and sends nothing.
  lab->Reset("test");
  RecordingListener manual;
  engine.SetListener(&manual);
  engine.mode = 0;
  engine.quiet = false;
  ASSERT_TRUE(engine.StartManual());
  ASSERT_TRUE(transferring());
  EXPECT_EQ(engine.StartAuto(0, 1, 0), 1);
  engine.WaitUntilIdle();
  EXPECT_EQ(manual.Codes(), (std::vector<int>{2000, 2001, 1009}));
  EXPECT_EQ(lab->Stats("test").all["slot_requests"], "2");
  ASSERT_EQ(HistoryRows(&rows), 2);
  EXPECT_EQ(rows.sType[0], "手动");
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
}
