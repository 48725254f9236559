#include <gtest/gtest.h>
#include <netinet/in.h>
#include <rapidjson/document.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>

#include "../bandwidth/band_test_env.h"
#include "auto/local_mac.h"
#include "core/properties_file.h"
#include "history/sqlite_db.h"
#include "lab_fixture.h"
#include "platform/codepage.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// The command-line client's test server; other suites use other loopback addresses.
constexpr const char* kServerAddress = "127.0.8.4";

// Whether this process (and the programs it starts) may open an ICMP socket: a raw one needs
// root or CAP_NET_RAW, a datagram one a group inside net.ipv4.ping_group_range.
bool IcmpSocketsAvailable() {
  for (int type : {SOCK_RAW, SOCK_DGRAM}) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd >= 0) {
      close(fd);
      return true;
    }
  }
  return false;
}

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class CliTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    m_lab = StartLabOnFixedPort(std::vector<std::string>{
        "--management", "--time", "--test", std::string("--test-addr=") + kServerAddress,
        "--test-port=8080", "--management-accounts=" + AccountsFile()});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();

    PrepareLabProgramFolder(m_folder, *m_lab, kServerAddress);
  }

  // A Beijing telecom account beside the usual ones.
  std::string AccountsFile() {
    return WriteBeijingTelecomAccounts(m_folder + "/tmp/accounts.json");
  }

  CliRun Cli(const std::string& args) {
    CliRun run;
    const std::string out = m_folder + "/tmp/out", err = m_folder + "/tmp/err";
    const std::string command = "timeout 300 '" + testsupport::DistPath("kestrane-cli") +
                                "' --folder '" + m_folder + "' " + args + " >'" + out + "' 2>'" +
                                err + "' </dev/null";
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = testsupport::ReadFile(out);
    run.err = testsupport::ReadFile(err);
    return run;
  }

  std::unique_ptr<LabProcess> m_lab;
};

}  // namespace

TEST_F(CliTest, LoginAndTheWaysABandwidthTestFails) {
  CliRun run = Cli("bandwidth --yes");
  EXPECT_EQ(run.status, 2) << run.err;  // nothing saved yet

  run = Cli("login --user bj --password wrong");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("用户名或密码错误！"), std::string::npos) << run.err;

  run = Cli("login --user bj --password bj123");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("20001"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("80"), std::string::npos);
  PropertiesFile user(At("conf/l_c_config_01.properties"));
  user.Load();
  EXPECT_EQ(DecodeStoredValue(user.Get("username")), "bj");
  EXPECT_EQ(user.Get("userid"), "20001");

  ASSERT_TRUE(m_lab->Set("test", "dovalid", "busy"));
  run = Cli("bandwidth --yes");
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("服务器忙，请稍后再试！"), std::string::npos) << run.err;
  run = Cli("bandwidth --yes --json");
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "{\"code\":1004,\"message\":\"服务器忙，请稍后再试！\"}\n");

  // A server other than the automatic choice asks first; without a terminal the answer is no.
  ASSERT_TRUE(m_lab->Set("test", "dovalid", "ok"));
  m_lab->Reset("test");
  Write("Config\\dest_config.xml",
        std::string("<d><destip name=\"北京电信\" value=\"") + kServerAddress +
            ":1101:1\"/><destip name=\"北京联通\" value=\"" + kServerAddress + ":1102:1\"/></d>");
  run = Cli("bandwidth --server 北京联通");
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("选择的监测点与网络环境不匹配"), std::string::npos) << run.err;
  EXPECT_EQ(m_lab->Stats("test").requests, 0);

  run = Cli("bandwidth --server 不存在 --yes");
  EXPECT_EQ(run.status, 3);
  run = Cli("bandwidth --bogus");
  EXPECT_EQ(run.status, 1);
}

// A whole manual test with the real 20 s and 18 s phases. Each download connection is held
// to a fixed rate, so the rate the client reports can be checked against what the lab sent.
TEST_F(CliTest, FullBandwidthTestWithRealDurations) {
  ASSERT_EQ(Cli("login --user bj --password bj123").status, 0);
  constexpr int64_t kPerConnection = 1 << 20;
  ASSERT_TRUE(m_lab->SetFault("test", "/speed/50MB.rar", "rate=" + std::to_string(kPerConnection)));
  m_lab->Reset("test");
  const CliRun run = Cli("bandwidth --json");
  ASSERT_EQ(run.status, 0) << run.err << run.out;

  rapidjson::Document json;
  ASSERT_FALSE(json.Parse(run.out.c_str()).HasParseError()) << run.out;
  EXPECT_STREQ(json["server"].GetString(), "北京电信");
  EXPECT_EQ(json["testtype"].GetInt(), 1);
  const auto& down = json["download"];
  ASSERT_EQ(down["samples"].Size(), 15u);
  ASSERT_EQ(json["upload"]["samples"].Size(), 15u);

  // The lab sent its bytes over the 20-second phase; the client's average covers seconds 8-17.
  const double labRate = static_cast<double>(m_lab->Stats("test").bodySent) / 20.0;
  const double clientRate = down["average"].GetDouble() * 1048576.0;
  std::printf("download: lab %.0f B/s, client %.0f B/s\n", labRate, clientRate);
  EXPECT_NEAR(clientRate, labRate, labRate * 0.02);
  EXPECT_NEAR(clientRate, 5.0 * kPerConnection, 5.0 * kPerConnection * 0.02);
  EXPECT_GT(json["upload"]["average"].GetDouble(), 0);
  // Loopback answers in well under 1 ms. Without an ICMP socket (not root, and no room in
  // net.ipv4.ping_group_range) no echo goes out, and the time is the fixed 10.
  EXPECT_STREQ(json["pingrtt"].GetString(), IcmpSocketsAvailable() ? "0.0" : "10.0");

  // Record packed into Data, history row written.
  const std::string record = json["record"].GetString();
  EXPECT_TRUE(std::regex_match(record, std::regex(R"(Pccollect_band_\d{10}\.dat)"))) << record;
  const std::string package = json["package"].GetString();
  ASSERT_TRUE(testsupport::Exists(At("Data/" + package))) << package;
  const std::string zipped = testsupport::CommandOutput("unzip -p '" + At("Data/" + package) + "'");
  const std::string text = codepage::GbkToUtf8(zipped);
  EXPECT_EQ(text.rfind("+++start+++\nmonitorid=1101\n", 0), 0u) << text;
  EXPECT_NE(text.find("\nlocation=北京市  朝阳区\nuserid=20001\n"), std::string::npos) << text;
  // As at the program's start, the adapter's key was added with "1" and the record carries it.
  std::string mac;
  if (GetLocalMac(mac)) {
    PropertiesFile ip(At("conf/ipconfig.properties"));
    ip.Load();
    EXPECT_EQ(ip.Get(mac), "1");
    EXPECT_NE(text.find("\nrealbandwidth=1\n"), std::string::npos) << text;
  }

  HistoryRecordList rows;
  CSqliteDb db(At("DB/Data20001.db"));
  ASSERT_EQ(db.ReadHistory("", rows), 1);
  EXPECT_EQ(rows.sName[0], "北京电信");
  EXPECT_EQ(rows.sType[0], "手动");
}

// A test server that stops reading uploads: the upload phase still ends with its 18 s, so the
// whole test keeps its bound (20 s down, 2 s pause, 18 s up, a few seconds around them).
TEST_F(CliTest, ServerThatStopsReadingUploadsDoesNotHoldTheTest) {
  ASSERT_EQ(Cli("login --user bj --password bj123").status, 0);
  ASSERT_TRUE(m_lab->SetFault("test", "/speed/50MB.rar", "rate=1000000"));
  ASSERT_TRUE(m_lab->SetFault("test", "/speed/doload.do", "stallbody=100000"));
  const auto started = std::chrono::steady_clock::now();
  const CliRun run = Cli("bandwidth --json");
  const double took =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("bandwidth test took %.1f s\n", took);
  EXPECT_LT(took, 20 + 2 + 18 + 8) << run.err << run.out;
  EXPECT_EQ(run.status, 0) << run.err << run.out;
}

namespace {

// The file download test needs no test server: every role on a free port.
class CliFileTest : public CliTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    m_lab = std::make_unique<LabProcess>(std::vector<std::string>{
        "--management", "--time", "--files", "--management-accounts=" + AccountsFile()});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    PrepareLabProgramFolder(m_folder, *m_lab, "127.0.0.1");
  }
};

}  // namespace

TEST_F(CliFileTest, FileDownloadTest) {
  EXPECT_EQ(Cli("filedown").status, 2);  // nothing saved yet
  ASSERT_EQ(Cli("login --user bj --password bj123").status, 0);

  CliRun run = Cli("filedown '" + m_lab->Url("files", "/files/1000000B.bin") + "'");
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("获取文件大小失败，文件不能被下载！"), std::string::npos) << run.err;
  run = Cli("filedown '" + m_lab->Url("files", "/files/1000000B.bin") + "' --json");
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "{\"code\":1011,\"message\":\"获取文件大小失败，文件不能被下载！\"}\n");

  // Without an address: the first item of the user's list.
  Write("Config\\settings20001.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings><tasks><module id=\"4\" "
        "selected=\"true\"><item id=\"7\" selected=\"false\" name=\"两兆文件\">" +
            m_lab->Url("files", "/files/2MB.rar") +
            "</item><item id=\"8\" selected=\"true\" name=\"三兆文件\">" +
            m_lab->Url("files", "/files/3MB.rar") + "</item></module></tasks></settings>");
  ASSERT_TRUE(m_lab->Reset("files"));
  run = Cli("filedown --json");
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  rapidjson::Document json;
  ASSERT_FALSE(json.Parse(run.out.c_str()).HasParseError()) << run.out;
  EXPECT_STREQ(json["name"].GetString(), "两兆文件");
  EXPECT_EQ(json["website"].GetInt(), 7);
  EXPECT_STREQ(json["total"].GetString(), "2048.00");
  EXPECT_STREQ(json["loaded"].GetString(), "2048.00");
  EXPECT_STRNE(json["speed"].GetString(), "--");
  EXPECT_EQ(json["totalsize"].GetInt64(), 2 << 20);
  EXPECT_EQ(json["bytes"].GetInt64(), 2 << 20);
  ASSERT_TRUE(m_lab->WaitIdle("files"));
  const auto requests = m_lab->Requests("files");
  ASSERT_EQ(requests.size(), 2u) << "the probe and the transfer";
  EXPECT_EQ(requests[1].bodySent, 2 << 20);
  EXPECT_EQ(requests[1].head, requests[0].head);
  int64_t sum = 0;
  for (const auto& s : json["samples"].GetArray()) sum += s.GetInt64();
  EXPECT_EQ(sum, 2 << 20);
  EXPECT_EQ(std::string(json["record"].GetString()).rfind("Pccollect_filedown_", 0), 0u);
  EXPECT_NE(std::string(json["package"].GetString()).find("_1024_Pccollect_filedown_20001.zip"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(json["testtype"].GetInt(), 1);

  // An address of the list picks its item; any other is "其他" with id 0.
  run = Cli("filedown '" + m_lab->Url("files", "/files/3MB.rar") + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("三兆文件"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("文件大小: 3072.00 KB"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("已下载"), std::string::npos) << run.err;
  run = Cli("filedown '" + m_lab->Url("files", "/files/1100000B.bin") + "' --json");
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_FALSE(json.Parse(run.out.c_str()).HasParseError()) << run.out;
  EXPECT_STREQ(json["name"].GetString(), "其他");
  EXPECT_EQ(json["website"].GetInt(), 0);

  EXPECT_EQ(Cli("filedown a b").status, 1);
}

namespace {

class CliWebTest : public CliTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    m_lab = std::make_unique<LabProcess>(std::vector<std::string>{
        "--management", "--time", "--portal", "--management-accounts=" + AccountsFile()});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    PrepareLabProgramFolder(m_folder, *m_lab, "127.0.0.1", {"Skin.zip"});
  }
};

}  // namespace

#ifdef KESTRANE_CLI_WEBPAGE
TEST_F(CliWebTest, WebPageTest) {
  const std::string page = m_lab->Url("portal", "/portal/cli/index.html?parts=3&load=300");
  EXPECT_EQ(Cli("webpage '" + page + "'").status, 2);  // nothing saved yet
  ASSERT_EQ(Cli("login --user bj --password bj123").status, 0);
  // Addresses the page would refuse, and the browser's own refusals.
  for (const char* bad : {"word", "file:///etc/passwd", "javascript:alert(1)"})
    EXPECT_EQ(Cli(std::string("webpage '") + bad + "'").status, 1) << bad;
  EXPECT_EQ(Cli("webpage").status, 1);
  CliRun run = Cli("webpage '" + m_lab->Url("portal", "/portal/cli/missing.html") + "' --json");
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_EQ(run.out, "{\"code\":1001,\"message\":\"网络连接失败，请检查网络后重试！\"}\n");
  EXPECT_EQ(
      Cli("webpage 'http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/'").status, 3);

  run = Cli("webpage '" + page + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(std::regex_search(run.out, std::regex("^首屏时间:0\\.[3-9]\\d\\ds\n"))) << run.out;
  run = Cli("webpage '" + page + "' --json");
  ASSERT_EQ(run.status, 0) << run.err;
  rapidjson::Document json;
  ASSERT_FALSE(json.Parse(run.out.c_str()).HasParseError()) << run.out;
  EXPECT_STREQ(json["url"].GetString(), page.c_str());
  EXPECT_GE(atof(json["firstscreentime"].GetString()), 0.3);
  ASSERT_TRUE(json["load_event_ms"].IsNumber()) << run.out;
  EXPECT_GE(json["load_event_ms"].GetDouble(), 300.0);
  EXPECT_LE(json["load_event_ms"].GetDouble(), atof(json["firstscreentime"].GetString()) * 1000);
  EXPECT_TRUE(json["fcp_ms"].IsNumber() || json["fcp_ms"].IsNull());
  EXPECT_STREQ(json["text"].GetString(),
               ("首屏时间:" + std::string(json["firstscreentime"].GetString()) + "s").c_str());
  // Both runs left a history row of the manual web page test.
  HistoryRecordList rows;
  CSqliteDb db(m_folder + "/DB/Data20001.db");
  db.ReadHistory("", rows);
  int web = 0;
  for (int i = 0; i < rows.count; ++i)
    web += rows.SpeedType[i] == "网页测速" && rows.sType[i] == "手动";
  EXPECT_EQ(web, 2);
}
#else
TEST_F(CliWebTest, NoWebPageTestWithoutTheBrowser) {
  EXPECT_EQ(Cli("webpage 'http://127.0.0.1/'").status, 1);
}
#endif
