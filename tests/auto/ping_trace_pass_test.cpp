// Whole collection passes: both files from the lab's update role, real probes of the loopback
// address, real zip packages, the logs; and the thread's pauses and stop.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "auto/packaging.h"
#include "auto/ping_trace.h"
#include "core/data_base.h"
#include "lab_fixture.h"
#include "platform/codepage.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const char* const kParams =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n"
    "<province-array name=\"江苏\"><city-array name=\"all\" operid=\"1-2\" destfile=\"%DEST%\" "
    "interval=\"%INTERVAL%\" tracecmd=\"true\" pingcmd=\"true\">\n"
    " <random rand=\"1\" randname=\"city\" opersel=\"9\" pingpacket=\"2\" tracettl=\"5\"/>\n"
    " <must provsel=\"self\" opersel=\"all\" pingpacket=\"2\" tracettl=\"5\" webid=\"%WEB%\"/>\n"
    "</city-array></province-array>\n</root>\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, from.size(), to);
  return text;
}

std::string DestFile(const std::string& ip) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n<rand_sel_items/>\n<must_sel_items>\n"
         "<prov-array prov=\"江苏\"><destip operator=\"1\" ip=\"" +
         ip +
         "\" iid=\"701\"/></prov-array>\n"
         "<web-array><destip id=\"3\" name=\"本机\" website=\"localhost\"/></web-array>\n"
         "</must_sel_items>\n</root>\n";
}

class PingTracePass : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    for (const char* f : {"libNetworkStatus.so", "libUpdater.so", "Config/area_config.xml"})
      CopyFromDist(f);
    fs::create_directories(At("served/Kestrane/tracert_ping"));
    m_lab = std::make_unique<LabProcess>(
        std::vector<std::string>{"--update", "--update-root=" + At("served")});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    Write("conf/config.properties", "update_server_path=" + m_lab->Url("update", "/") +
                                        "\napp_name=Kestrane/\ntracert_ping_dir=tracert_ping/\n"
                                        "tracert_ping_param=tracert_ping_param.xml\n");
    UserInfo user;
    user.userId = "20001";
    user.registeredPlace = "江苏省南京市";
    user.registeredOperator = "1";
    CDataBase::Instance().SetUserInfo(user);
    pingtrace::CollectionTimings t;
    t.failurePause = 200ms;
    t.busyWait = 50ms;
    t.probeGap = 10ms;
    t.minute = 100ms;
    t.minimumGap = 400ms;
    t.pickPause = 1ms;
    pingtrace::SetCollectionTimings(t);
  }
  void TearDown() override {
    pingtrace::StopCollection();
    CDataBase::Instance().testBusy = 0;
    pingtrace::SetCollectionTimings({});
    m_lab.reset();
    ProgramFolderTest::TearDown();
  }

  void Serve(const std::string& destName, const std::string& ip, int interval = 5,
             const std::string& webIds = "") {
    Write("served/Kestrane/tracert_ping/tracert_ping_param.xml",
          Replace(
              Replace(Replace(kParams, "%DEST%", destName), "%INTERVAL%", std::to_string(interval)),
              "%WEB%", webIds));
    Write("served/Kestrane/tracert_ping/" + destName, DestFile(ip));
  }

  std::string Log(const char* name) const {
    return codepage::GbkToUtf8(Read(std::string("log/") + name));
  }

  std::vector<std::string> Packages() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(At("NetStatusData")))
      names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::unique_ptr<LabProcess> m_lab;
};

}  // namespace

TEST_F(PingTracePass, ProbesTheMustListAndPacksOneRecordEach) {
  Serve("dest.xml", "127.0.0.1");
  const pingtrace::PassOutcome outcome = pingtrace::RunPass();
  EXPECT_TRUE(outcome.downloaded);
  EXPECT_EQ(outcome.interval, 5);
  EXPECT_EQ(outcome.traces, 1);
  EXPECT_EQ(outcome.pings, 1);
  EXPECT_FALSE(testsupport::Exists(At("log/trace_ping_website.log")));

  // No transfer program here: the packages stay, one record in each.
  const auto names = Packages();
  ASSERT_EQ(names.size(), 2u);
  std::string pingZip, traceZip;
  for (const std::string& n : names) {
    if (n.find("_1024_PING_20001.zip") != std::string::npos) pingZip = n;
    if (n.find("_1024_TRACE_20001.zip") != std::string::npos) traceZip = n;
  }
  ASSERT_FALSE(pingZip.empty() || traceZip.empty()) << names[0] << " " << names[1];
  const std::string ping = testsupport::CommandOutput(
      "cd '" + At("NetStatusData") + "' && unzip -Z1 " + pingZip + " && unzip -p " + pingZip);
  EXPECT_EQ(ping.rfind("Pccollect_ping_", 0), 0u) << ping;
  EXPECT_NE(ping.find("+++BEGIN\r\n[scamper, -c, ping -c 10, -i, 127.0.0.1\r\n"), std::string::npos)
      << ping;
  EXPECT_NE(ping.find("iNeId=701\r\niMonitorId=20001\r\n"), std::string::npos);
  EXPECT_NE(ping.find("metype=0\r\n"), std::string::npos);
  // pingpacket 2 sends 4.
  EXPECT_NE(ping.find("4 packets transmitted,4 packets received, 0% packet loss\r\n"),
            std::string::npos)
      << ping;
  const std::string trace =
      testsupport::CommandOutput("cd '" + At("NetStatusData") + "' && unzip -p " + traceZip);
  EXPECT_NE(trace.find("traceroute from 127.0.0.1 to 127.0.0.1\r\n1  127.0.0.1  "),
            std::string::npos)
      << trace;
  EXPECT_NE(trace.find("[root@collect20001 ~]#\r\n---END\r\n"), std::string::npos);

  const std::string log = Log("trace_ping_destip.log");
  EXPECT_NE(log.find(",目的点ip列表：\n"), std::string::npos) << log;
  EXPECT_NE(log.find(",701\t127.0.0.1\n"), std::string::npos) << log;
  EXPECT_NE(log.find(",127.0.0.1  >>>>>>>>>>>trace success\n"), std::string::npos) << log;
  EXPECT_NE(log.find(",127.0.0.1  >>>>>>>>>>>ping success\n"), std::string::npos) << log;
}

TEST_F(PingTracePass, FailedOrUnsafeDownloadsProbeNothing) {
  // A file name from the server that leaves "Config": nothing deleted, nothing probed.
  Serve("dest.xml", "127.0.0.1");
  Write("served/Kestrane/tracert_ping/tracert_ping_param.xml",
        Replace(Replace(kParams, "%DEST%", "../conf/config.properties"), "%INTERVAL%", "5"));
  const std::string config = Read("conf/config.properties");
  pingtrace::PassOutcome outcome = pingtrace::RunPass();
  EXPECT_FALSE(outcome.downloaded);
  EXPECT_EQ(Read("conf/config.properties"), config);
  EXPECT_TRUE(Packages().empty());

  // A missing parameter file: the stale copy is gone, not read.
  Write("Config/tracert_ping_param.xml",
        Replace(Replace(kParams, "%DEST%", "dest.xml"), "%INTERVAL%", "5"));
  fs::remove(At("served/Kestrane/tracert_ping/tracert_ping_param.xml"));
  outcome = pingtrace::RunPass();
  EXPECT_FALSE(outcome.downloaded);
  EXPECT_FALSE(testsupport::Exists(At("Config/tracert_ping_param.xml")));

  // A missing destination file.
  Serve("dest.xml", "127.0.0.1");
  fs::remove(At("served/Kestrane/tracert_ping/dest.xml"));
  outcome = pingtrace::RunPass();
  EXPECT_FALSE(outcome.downloaded);
  EXPECT_EQ(outcome.traces + outcome.pings, 0);
  EXPECT_TRUE(Packages().empty());
}

TEST_F(PingTracePass, WaitsWhileASpeedTestRuns) {
  Serve("dest.xml", "127.0.0.1");
  CDataBase::Instance().testBusy = 1;
  std::atomic<bool> done{false};
  pingtrace::PassOutcome outcome;
  std::thread pass([&] {
    outcome = pingtrace::RunPass();
    done = true;
  });
  auto waits = [&] {
    const std::string log = Log("trace_ping_destip.log");
    size_t n = 0;
    for (size_t at = 0; (at = log.find("正在自动测速，等待30秒", at)) != std::string::npos; ++at)
      ++n;
    return n;
  };
  EXPECT_TRUE(testsupport::WaitFor([&] { return waits() >= 3; }));
  EXPECT_FALSE(done);
  EXPECT_TRUE(Packages().empty());
  CDataBase::Instance().testBusy = 0;
  EXPECT_TRUE(testsupport::WaitFor([&] { return done.load(); }, 30s));
  pass.join();
  EXPECT_EQ(outcome.traces, 1);
  EXPECT_EQ(outcome.pings, 1);
}

TEST_F(PingTracePass, ThreadKeepsTheMinimumGapAndStopsPromptly) {
  // Interval 0: the passes are still the minimum apart; a new destination file is read at the
  // next pass.
  Serve("dest.xml", "127.0.0.1", 0);
  auto fetches = [&] {
    int n = 0;
    for (const LabRequest& r : m_lab->Requests("update"))
      if (r.target.find("tracert_ping_param.xml") != std::string::npos) ++n;
    return n;
  };
  ASSERT_TRUE(pingtrace::StartCollection());
  EXPECT_FALSE(pingtrace::StartCollection());
  ASSERT_TRUE(testsupport::WaitFor([&] { return fetches() >= 1; }));
  const auto first = std::chrono::steady_clock::now();
  Serve("dest.xml", "127.0.0.2", 0);
  ASSERT_TRUE(testsupport::WaitFor([&] { return fetches() >= 2; }, 30s));
  EXPECT_GE(std::chrono::steady_clock::now() - first, 400ms);
  EXPECT_TRUE(testsupport::WaitFor(
      [&] { return Log("trace_ping_destip.log").find(",701\t127.0.0.2\n") != std::string::npos; },
      30s));

  const auto stopAsked = std::chrono::steady_clock::now();
  pingtrace::StopCollection();
  EXPECT_LT(std::chrono::steady_clock::now() - stopAsked, 5s);
}

TEST_F(PingTracePass, ProbesWebSitesIntoTheirOwnLog) {
  Serve("dest.xml", "127.0.0.1", 5, "all");
  const pingtrace::PassOutcome outcome = pingtrace::RunPass();
  EXPECT_EQ(outcome.traces, 2);
  EXPECT_EQ(outcome.pings, 2);
  const std::string web = Log("trace_ping_website.log");
  EXPECT_NE(web.find(",localhost\n"), std::string::npos) << web;
  EXPECT_NE(web.find(",localhost  >>>>>>>>>>>ping success\n"), std::string::npos) << web;
  EXPECT_EQ(web.find("目的点ip列表"), std::string::npos);
  // The web site's records carry metype 1 and its id.
  bool found = false;
  for (const std::string& name : Packages()) {
    const std::string text =
        testsupport::CommandOutput("cd '" + At("NetStatusData") + "' && unzip -p " + name);
    if (text.find("metype=1\r\n") != std::string::npos) {
      found = true;
      EXPECT_NE(text.find("iNeId=3\r\n"), std::string::npos) << text;
    }
  }
  EXPECT_TRUE(found);
}

// The packages leave through the real transfer program for the lab's private sshd.
TEST_F(PingTracePass, PackagesArriveOnTheCollectionServer) {
  CopyFromDist("PSFTP");
  int status = -1;
  const std::string text = testsupport::CommandOutput(
      testsupport::SourcePath("lab/sftp/start-sshd") + " --account-into '" + m_folder + "' 2>&1",
      &status);
  ASSERT_EQ(status, 0) << text;
  std::map<std::string, std::string> server;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (auto eq = line.find('='); eq != std::string::npos)
      server[line.substr(0, eq)] = line.substr(eq + 1);
  // Stopped however the test ends.
  struct StopServer {
    std::string state;
    ~StopServer() {
      if (!state.empty())
        std::system(
            (testsupport::SourcePath("lab/sftp/stop-sshd") + " '" + state + "' --clean").c_str());
    }
  } stopServer{server["SSHD_STATE"]};
  ASSERT_FALSE(server["SSHD_COLLECT"].empty()) << text;

  Serve("dest.xml", "127.0.0.1");
  const pingtrace::PassOutcome outcome = pingtrace::RunPass();
  EXPECT_EQ(outcome.traces, 1);
  EXPECT_EQ(outcome.pings, 1);
  auto arrived = [&](const char* kind) {
    for (const auto& e : fs::directory_iterator(server["SSHD_COLLECT"]))
      if (e.path().filename().string().find(std::string("_1024_") + kind + "_20001.zip") !=
          std::string::npos)
        return true;
    return false;
  };
  EXPECT_TRUE(testsupport::WaitFor([&] { return arrived("TRACE") && arrived("PING"); }, 60s));
  EXPECT_TRUE(packaging::WaitForUploads(60s));
  EXPECT_TRUE(testsupport::WaitFor([&] { return Packages().empty(); }));
}
