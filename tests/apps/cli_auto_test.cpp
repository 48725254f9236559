// kestrane-cli auto and check as processes: the cycles against the lab, the checks in a
// network namespace of their own (nothing on the line but loopback).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "../auto/netns_topology.h"
#include "history/sqlite_db.h"
#include "lab_fixture.h"
#include "platform/process.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kServerAddress = "127.0.8.32";

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class CliAutoTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    fs::create_directories(At("tmp"));
  }

  void Thresholds(const std::string& cpu, const std::string& antivirus = "") {
    Write("Config\\threshold_config.xml",
          "<t><CPUThreshold><value>" + cpu +
              "</value></CPUThreshold><MemoryThreshold><value>100</value></MemoryThreshold>"
              "<Anti-Virus-Software>" +
              antivirus + "</Anti-Virus-Software></t>");
  }

  CliRun Cli(const std::string& args, const std::string& prefix = "") {
    CliRun run;
    const std::string out = At("tmp/out"), err = At("tmp/err");
    const std::string command = prefix + "timeout 300 '" + testsupport::DistPath("kestrane-cli") +
                                "' --folder '" + m_folder + "' " + args + " >'" + out + "' 2>'" +
                                err + "' </dev/null";
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = testsupport::ReadFile(out);
    run.err = testsupport::ReadFile(err);
    return run;
  }

  static rapidjson::Document Json(const std::string& text) {
    rapidjson::Document doc;
    doc.Parse(text.c_str());
    return doc;
  }
};

TEST_F(CliAutoTest, CheckMeasuresEverythingAndSaysWhetherTheMachineIsFit) {
  NetnsTopology net;
  if (!net.Available()) GTEST_SKIP() << "network namespaces unavailable: " << net.Error();
  net.AddNamespace("alone");
  ASSERT_FALSE(net.Failed()) << net.Error();
  CopyFromDist("libNetworkStatus.so");
  const std::string inside = "ip netns exec " + net.Name("alone") + " ";

  Thresholds("-1");
  CliRun run = Cli("check --json", inside);
  EXPECT_EQ(run.status, 3) << run.err;
  auto doc = Json(run.out);
  ASSERT_TRUE(doc.IsObject()) << run.out;
  EXPECT_EQ(doc["verdict"].GetInt(), 1);
  EXPECT_STREQ(doc["reason"].GetString(), "CPU使用率 > -1%");
  EXPECT_GE(doc["cpu"].GetInt(), 0);
  EXPECT_LE(doc["cpu"].GetInt(), 100);
  EXPECT_GT(doc["memory"].GetInt(), 0);
  EXPECT_LE(doc["memory"].GetInt(), 100);
  // Every measure is taken even though the first one fired.
  EXPECT_GE(doc["traffic_seconds"].GetDouble(), 3.9);
  EXPECT_TRUE(doc["responders"].IsArray());

  // An antivirus program, a renamed sleep.
  fs::copy_file("/bin/sleep", At("tmp/clamd"));
  const pid_t av = platform::SpawnProcess(At("tmp/clamd"), {"60"});
  ASSERT_GT(av, 0);
  Thresholds("100", "<item name=\"ClamD\"/>");
  run = Cli("check --json", inside);
  kill(av, SIGKILL);
  platform::WaitProcess(av, 5000);
  EXPECT_EQ(run.status, 3) << run.err;
  doc = Json(run.out);
  ASSERT_TRUE(doc.IsObject()) << run.out;
  EXPECT_EQ(doc["verdict"].GetInt(), 3);
  ASSERT_EQ(doc["antivirus"].Size(), 1u);
  EXPECT_STREQ(doc["antivirus"][0].GetString(), "clamd");

  // Nothing on the line but loopback: fit.
  Thresholds("100");
  run = Cli("check", inside);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("结论: 0 环境正常"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("网卡流量: 下行 0.0 KB/s, 上行 0.0 KB/s"), std::string::npos) << run.out;
}

class CliAutoLabTest : public CliAutoTest {
 protected:
  void SetUp() override {
    CliAutoTest::SetUp();
    const std::string accounts = At("tmp/accounts.json");
    testsupport::WriteFile(accounts, R"({"accounts":[
      {"username":"bj","password":"bj123","statuscode":"0","userid":"20001","nickname":"北京用户",
       "location":"北京市 朝阳区","bandwidth":"100","rloc":"北京市","roper":"中国电信",
       "rcityid":"110105","roperid":"1","usertype":"1","locCityid":"110105","locOperid":"1",
       "locProid":"110000","scores":"80,81,82"},
      {"username":"audit","password":"a123","statuscode":"0","userid":"20002","nickname":"审核",
       "location":"北京市 朝阳区","bandwidth":"100","rloc":"北京市","roper":"中国电信",
       "rcityid":"110105","roperid":"1","usertype":"5","locCityid":"110105","locOperid":"1",
       "locProid":"110000","scores":"1,2,3"}]})");
    m_lab = StartLabOnFixedPort(std::vector<std::string>{
        "--management", "--time", "--test", std::string("--test-addr=") + kServerAddress,
        "--test-port=8080", "--management-accounts=" + accounts});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    PrepareLabProgramFolder(m_folder, *m_lab, kServerAddress);
  }

  void Select(const std::string& userId, const std::string& modules) {
    Write("Config\\settings" + userId + ".xml",
          "<settings><tasks>" + modules + "</tasks></settings>");
  }

  std::unique_ptr<LabProcess> m_lab;
};

TEST_F(CliAutoLabTest, UnfitCycleRecordsTheInvalidRowAndTheGateKeepsAuditedAccountsOut) {
  Thresholds("-1");
  ASSERT_EQ(Cli("login --user bj --password bj123").status, 0);
  // Nothing this program can test: an empty list.
  Select("20001", "<module id=\"1\" selected=\"false\"/><module id=\"2\" selected=\"true\"/>");
  CliRun run = Cli("auto --cycles 1 --json");
  EXPECT_EQ(run.status, 3) << run.err;

  Select("20001", "<module id=\"1\" selected=\"true\"/>");
  run = Cli("auto --cycles 1 --json");
  ASSERT_EQ(run.status, 0) << run.err;
  auto doc = Json(run.out);
  ASSERT_TRUE(doc.IsObject()) << run.out;
  ASSERT_EQ(doc["cycles"].Size(), 1u);
  const auto& cycle = doc["cycles"][0];
  EXPECT_EQ(cycle["verdict"].GetInt(), 1);
  EXPECT_STREQ(cycle["reason"].GetString(), "CPU使用率 > -1%");
  EXPECT_TRUE(cycle["invalid_band_row"].GetBool());
  EXPECT_TRUE(cycle["completed"].GetBool());
  EXPECT_EQ(cycle["calls"].Size(), 0u);
  EXPECT_EQ(doc["scheduled"].GetInt(), 1);
  EXPECT_EQ(doc["completed"].GetInt(), 0);
  const std::string last = doc["last_result"].GetString();
  EXPECT_EQ(last.rfind("最近一次自动测速结果：\n数据无效\n(原因:CPU使用率 > -1%)\n测速时间:", 0),
            0u)
      << last;
  // No slot was asked for.
  EXPECT_EQ(m_lab->Stats("test").requests, 0);
  HistoryRecordList rows;
  CSqliteDb db(At("DB/Data20001.db"));
  ASSERT_EQ(db.ReadHistory("", rows), 1);
  EXPECT_EQ(rows.sName[0], "无效数据");
  EXPECT_EQ(rows.sQuota[0], "CPU使用率 > -1%");

  // An account under audit may not test automatically.
  ASSERT_EQ(Cli("login --user audit --password a123").status, 0);
  Select("20002", "<module id=\"1\" selected=\"true\"/>");
  run = Cli("auto --cycles 1");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("您好：您的账号目前处于未审核状态无法进行自动测速！"), std::string::npos)
      << run.err;
  EXPECT_EQ(m_lab->Stats("test").requests, 0);
}

TEST_F(CliAutoLabTest, CtrlCStopsAsTheStopWindowDoes) {
  Thresholds("100");
  ASSERT_EQ(Cli("login --user bj --password bj123").status, 0);
  Select("20001", "<module id=\"1\" selected=\"true\"/><module id=\"4\" selected=\"true\"/>");
  const std::string out = At("tmp/auto.out");
  const std::string cli = testsupport::DistPath("kestrane-cli");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDOUT_FILENO);
    dup2(fd, STDERR_FILENO);
    execl(cli.c_str(), cli.c_str(), "--folder", m_folder.c_str(), "auto", nullptr);
    _exit(127);
  }
  // The list is printed once the stop is listened for; the first cycle is 10 s away.
  ASSERT_TRUE(testsupport::WaitFor(
      [&] {
        return testsupport::ReadFile(out).find("自动测速任务: 带宽 文件下载") != std::string::npos;
      },
      std::chrono::seconds(60)))
      << testsupport::ReadFile(out);
  const auto start = std::chrono::steady_clock::now();
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_TRUE(testsupport::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; },
                                   std::chrono::seconds(10)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string text = testsupport::ReadFile(out);
  EXPECT_NE(text.find("已停止自动测速"), std::string::npos) << text;
  EXPECT_NE(text.find("已安排: 0\n已完成: 0"), std::string::npos) << text;
  EXPECT_EQ(m_lab->Stats("test").requests, 0);
}

}  // namespace
