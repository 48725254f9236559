// The file download engine against the lab's file server.

#include "filedown/file_down_speed.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "core/data_base.h"
#include "lab_fixture.h"
#include "platform/codepage.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Records the engine's events in order: warnings as negative codes, then the notifications.
class DownloadRecorder : public IUpdateUI {
 public:
  int Ask(const DownloadEvent& event) override {
    std::lock_guard<std::mutex> guard(m_lock);
    m_order.push_back(-event.code);
    m_messages.push_back(event.message);
    return 1;
  }
  void NotifyDownload(const DownloadEvent& event) override {
    std::lock_guard<std::mutex> guard(m_lock);
    m_order.push_back(event.code);
    m_events.push_back(event);
    m_changed.notify_all();
  }
  std::vector<int> Order() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_order;
  }
  std::vector<DownloadEvent> Events() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
  }
  std::vector<DownloadEvent> Samples() const {
    std::vector<DownloadEvent> samples;
    for (const auto& e : Events())
      if (e.code == speedcode::kOneSecondSample) samples.push_back(e);
    return samples;
  }
  std::vector<std::string> Messages() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_messages;
  }

 private:
  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<int> m_order;
  std::vector<DownloadEvent> m_events;
  std::vector<std::string> m_messages;
};

std::string Unzip(const std::string& zip) {
  return testsupport::CommandOutput("unzip -p '" + zip + "' 2>/dev/null");
}

class FileDownTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    Write("conf\\l_c_config_01.properties", "userid=1234\n");
    UserInfo user;
    user.userId = "1234";
    user.address = "10.1.2.3";
    user.province = "北京";
    user.city = " 朝阳区";
    user.userType = 1;
    CDataBase::Instance().SetUserInfo(user);
    CFileDownSpeed::SetNetworkAliveForTest(1);
    m_lab = std::make_unique<LabProcess>(std::vector<std::string>{"--files"});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
  }
  void TearDown() override {
    CFileDownSpeed::SetTimingsForTest(0, 0);
    CFileDownSpeed::SetNetworkAliveForTest(-1);
    m_lab.reset();
    ProgramFolderTest::TearDown();
  }

  settings::ModuleItem Item(const std::string& path, int id = 1) {
    return {id, true, "测试文件", m_lab->Url("files", path)};
  }

  // Runs a manual test to its end.
  void RunManual(CFileDownSpeed& engine, const settings::ModuleItem& item) {
    engine.SetListener(&m_events);
    ASSERT_TRUE(engine.RunTest(item));
    engine.WaitUntilIdle();
    engine.SetListener(nullptr);
    EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  }

  std::vector<std::string> DataFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(At("Data"))) names.push_back(e.path().string());
    return names;
  }

  std::string Log() {
    const std::time_t now = std::time(nullptr);
    char day[32];
    std::strftime(day, sizeof day, "%Y-%m-%d.log", std::localtime(&now));
    return codepage::GbkToUtf8(Read(std::string("log\\") + day));
  }

  void WriteSettings(const std::string& file, bool moduleSelected, const std::string& items) {
    Write(file, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings><tasks>") +
                    "<module id=\"4\" selected=\"" + (moduleSelected ? "true" : "false") + "\">" +
                    items + "</module></tasks></settings>");
  }
  std::string ItemXml(int id, bool selected, const std::string& path) {
    return "<item id=\"" + std::to_string(id) + "\" selected=\"" + (selected ? "true" : "false") +
           "\" name=\"文件" + std::to_string(id) + "\">" + m_lab->Url("files", path) + "</item>";
  }

  std::unique_ptr<LabProcess> m_lab;
  DownloadRecorder m_events;
};

}  // namespace

TEST_F(FileDownTest, RefusesAMillionBytesAndTakesOneMore) {
  CFileDownSpeed engine;
  RunManual(engine, Item("/files/1000000B.bin"));
  EXPECT_EQ(m_events.Order(), (std::vector<int>{-1011, 1011}));
  EXPECT_EQ(m_events.Messages(), std::vector<std::string>{"获取文件大小失败，文件不能被下载！"});
  EXPECT_TRUE(DataFiles().empty());

  DownloadRecorder accepted;
  engine.SetListener(&accepted);
  ASSERT_TRUE(engine.RunTest(Item("/files/1000001B.bin", 5)));
  engine.WaitUntilIdle();
  const std::vector<int> order = accepted.Order();
  ASSERT_GE(order.size(), 2u);
  EXPECT_EQ(order.back(), 1009);
  EXPECT_EQ(order[order.size() - 2], 1010) << "the final sample comes before the end";
  const DownloadEvent last = accepted.Samples().back();
  EXPECT_EQ(last.total, "976.56");
  EXPECT_EQ(last.loaded, "976.56");
  EXPECT_NE(last.loadTime, "--");
  EXPECT_NE(last.speed, "--");

  const filedown::FileResult result = engine.LastResult();
  EXPECT_EQ(result.counter, 1000001);
  EXPECT_EQ(result.totalSize, 1000001);
  const auto files = DataFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(fs::path(files[0]).filename().string(), engine.LastPackageName());
  EXPECT_NE(engine.LastPackageName().find("_1024_Pccollect_filedown_1234.zip"), std::string::npos);
  const std::string record = codepage::GbkToUtf8(Unzip(files[0]));
  EXPECT_EQ(record.rfind("+++start+++\nurl=" + Item("/files/1000001B.bin").address +
                             "\nwebsite=5\ntotalsize=0.95\ndownloadsize=0.95\n",
                         0),
            0u)
      << record;
  EXPECT_NE(record.find("\ntesttype=1\nchecktype=0\n---end---"), std::string::npos);
  EXPECT_EQ(engine.LastRecordName().rfind("Pccollect_filedown_", 0), 0u);
}

TEST_F(FileDownTest, RefusedAndFailedTransfersGiveNoResult) {
  ASSERT_TRUE(m_lab->SetFault("files", "/files/2MB.html", "html"));
  ASSERT_TRUE(m_lab->SetFault("files", "/files/2MB.bin", "404"));
  ASSERT_TRUE(m_lab->SetFault("files", "/files/3MB.bin", "nolength"));
  ASSERT_TRUE(m_lab->SetFault("files", "/files/4MB.bin", "from=2,404"));
  ASSERT_TRUE(m_lab->SetFault("files", "/files/5MB.bin", "from=2,close=0"));
  const std::string closed =
      "http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/f/2MB.bin";
  CFileDownSpeed engine;
  for (const std::string& url :
       {m_lab->Url("files", "/files/2MB.html"), m_lab->Url("files", "/files/2MB.bin"),
        m_lab->Url("files", "/files/3MB.bin"), m_lab->Url("files", "/files/4MB.bin"),
        m_lab->Url("files", "/files/5MB.bin"), closed,
        m_lab->Url("files", "/files/2MB.bin\r\nX: y"), std::string("no address")}) {
    DownloadRecorder events;
    engine.SetListener(&events);
    ASSERT_TRUE(engine.RunTest({3, true, "x", url}));
    engine.WaitUntilIdle();
    const std::vector<int> order = events.Order();
    ASSERT_FALSE(order.empty()) << url;
    EXPECT_EQ(order.front(), -1011) << url;
    EXPECT_EQ(order.back(), 1011) << url;
    EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  }
  // The probe of the from=2 paths passed; their transfers did not.
  int fourRequests = 0;
  for (const auto& r : m_lab->Requests("files"))
    if (r.target == "/files/4MB.bin") ++fourRequests;
  EXPECT_EQ(fourRequests, 2);
  EXPECT_TRUE(DataFiles().empty());
}

TEST_F(FileDownTest, NoNetworkIsRefusedAtOnce) {
  CFileDownSpeed::SetNetworkAliveForTest(0);
  CFileDownSpeed engine;
  engine.SetListener(&m_events);
  EXPECT_FALSE(engine.RunTest(Item("/files/2MB.bin")));
  EXPECT_EQ(m_events.Order(), (std::vector<int>{-1001, 1001}));
  EXPECT_EQ(m_events.Messages(), std::vector<std::string>{"网络异常，请检查网络后重试！"});
  engine.SetListener(nullptr);

  WriteSettings("Config\\settings1234.xml", true, ItemXml(1, true, "/files/2MB.bin"));
  EXPECT_EQ(engine.StartAuto(0, 1, 0), 0);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  EXPECT_EQ(m_lab->Stats("files").requests, 0);
  EXPECT_EQ(Log().find("测速失败"), std::string::npos);
}

// A file served at 256 KiB/s, cut by a 10 s time-out: the example of the record.
TEST_F(FileDownTest, TimedOutTransferCountsWhatArrived) {
  CFileDownSpeed::SetTimingsForTest(10, 0);
  ASSERT_TRUE(m_lab->SetFault("files", "/files/10MB.rar", "rate=262144"));
  CFileDownSpeed engine;
  RunManual(engine, Item("/files/10MB.rar"));
  ASSERT_EQ(m_events.Order().back(), 1009);
  ASSERT_TRUE(m_lab->WaitIdle("files"));
  const int64_t sent = m_lab->Stats("files").bodySent;

  const filedown::FileResult r = engine.LastResult();
  EXPECT_NEAR(static_cast<double>(r.counter), static_cast<double>(sent), sent * 0.01);
  EXPECT_NEAR(std::stod(filedown::DownloadSizeText(r)), 2.50, 0.05);
  EXPECT_NEAR(std::stod(filedown::SpeedText(r)), 256, 256 * 0.03);
  EXPECT_EQ(filedown::LoadingTimeText(r).rfind("10.0", 0), 0u) << filedown::LoadingTimeText(r);
  EXPECT_EQ(filedown::TotalSizeText(r), "10.00");

  // Every sample but the last shows no load time or speed; the bytes add up to the counter.
  const auto samples = m_events.Samples();
  ASSERT_GE(samples.size(), 9u);
  ASSERT_LE(samples.size(), 12u);
  int64_t sum = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    sum += samples[i].lastSecondBytes;
    if (i + 1 < samples.size()) {
      EXPECT_EQ(samples[i].loadTime, "--") << i;
      EXPECT_EQ(samples[i].speed, "--") << i;
      EXPECT_EQ(samples[i].total, "10240.00") << i;
    }
  }
  EXPECT_EQ(sum, r.counter);
  EXPECT_EQ(samples.back().loadTime, filedown::LoadingTimeText(r));
  EXPECT_NEAR(std::stod(samples.back().speed), 256, 256 * 0.03);
  const std::vector<int64_t> bytes = engine.SampleBytes();
  EXPECT_EQ(bytes.size(), samples.size());
}

TEST_F(FileDownTest, AutomaticRuns) {
  CDataBase& shared = CDataBase::Instance();
  CFileDownSpeed engine;
  engine.SetListener(&m_events);

  // Module not selected.
  WriteSettings("Config\\settings1234.xml", false, ItemXml(1, true, "/files/2MB.bin"));
  EXPECT_EQ(engine.StartAuto(0, 1, 0), 0);
  EXPECT_NE(Log().find("自动下载测速开始"), std::string::npos);
  EXPECT_NE(Log().find("自动下载测速结束（测速失败）"), std::string::npos);
  // No selected item anywhere.
  WriteSettings("Config\\settings1234.xml", true, ItemXml(1, false, "/files/2MB.bin"));
  EXPECT_EQ(engine.StartAuto(0, 1, 0), 0);
  EXPECT_EQ(m_lab->Stats("files").requests, 0);

  // Refused.
  WriteSettings("Config\\settings1234.xml", true, ItemXml(1, true, "/files/1000000B.bin"));
  EXPECT_EQ(engine.StartAuto(0, 1, 0), 1);
  EXPECT_NE(Log().find("自动下载测速失败文件总大小于1M"), std::string::npos);
  EXPECT_EQ(shared.testBusy.load(), 0);

  // Measured but not written: the write flag is 0.
  WriteSettings("Config\\settings1234.xml", true, ItemXml(1, true, "/files/2MB.bin"));
  EXPECT_EQ(engine.StartAuto(0, 0, 0), 2);
  EXPECT_EQ(engine.LastResult().counter, 2 << 20);
  EXPECT_EQ(shared.autoCompletedCount.load(), 0);
  EXPECT_TRUE(DataFiles().empty());
  EXPECT_NE(Log().find("自动下载测速结束 下载完成"), std::string::npos);

  // Written: only the task file's item is selected, so it is the one tested.
  WriteSettings("Config\\settings1234.xml", true, ItemXml(1, false, "/files/2MB.bin"));
  WriteSettings("Config\\tasks1234.xml", true, ItemXml(9, true, "/files/3MB.bin"));
  EXPECT_EQ(engine.StartAuto(0, 1, 1), 2);
  EXPECT_EQ(shared.autoCompletedCount.load(), 1);
  EXPECT_EQ(shared.testBusy.load(), 0);
  const auto files = DataFiles();
  ASSERT_EQ(files.size(), 1u);
  const std::string record = codepage::GbkToUtf8(Unzip(files[0]));
  EXPECT_NE(record.find("\nwebsite=9\ntotalsize=3.00\ndownloadsize=3.00\n"), std::string::npos)
      << record;
  EXPECT_NE(record.find("\ntesttype=0\nchecktype=1\n---end---"), std::string::npos);
  EXPECT_EQ(shared.LastResult().rfind("最近一次文件下载结果：\n文件类型：文件9\n平均速率：", 0),
            0u);
  // Automatic runs send no events.
  EXPECT_TRUE(m_events.Order().empty());

  // Cut part way: the result stands, the log says so.
  ASSERT_TRUE(m_lab->SetFault("files", "/files/3MB.bin", "close=2000000"));
  EXPECT_EQ(engine.StartAuto(0, 0, 0), 2);
  EXPECT_EQ(engine.LastResult().counter, 2000000);
  EXPECT_NE(Log().find("自动下载测速结束 未下载完成"), std::string::npos);
}

TEST_F(FileDownTest, StalledTransferKeepsItsPartialResult) {
  ASSERT_TRUE(m_lab->SetFault("files", "/files/4MB.bin", "stall=1500000"));
  CFileDownSpeed engine;
  RunManual(engine, Item("/files/4MB.bin"));
  EXPECT_EQ(m_events.Order().back(), 1009);
  EXPECT_EQ(engine.LastResult().counter, 1500000);
  EXPECT_EQ(engine.LastResult().totalSize, 4 << 20);
}
