// The throughput clients against the lab over loopback: both sides' byte counts and the
// request bytes on the wire.

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "core/data_base.h"
#include "core/http_download_get.h"
#include "core/http_get.h"
#include "lab_fixture.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

class ThroughputTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CHttpDownloadGet::SetDurationsForTest(1500, 1500);
  }
  void TearDown() override {
    CHttpDownloadGet::SetDurationsForTest(0, 0);
    ProgramFolderTest::TearDown();
  }
  // Waits until the lab has closed every connection, so its counts are final.
  static void Settle(const LabProcess& lab) { EXPECT_TRUE(lab.WaitIdle("test")); }
};

std::string DownloadHead(const std::string& object) {
  return "GET " + object +
         " HTTP/1.1\r\nAccept: */*\r\nAccept-Encoding: gzip, deflate\r\n"
         "Connection: Keep-Alive\r\nHost: 127.0.0.1\r\nCache-Control: no-cache\r\nPragma: "
         "no-cache\r\n\r\n";
}

}  // namespace

TEST_F(ThroughputTest, FiveStalledDownloadsCountExactlyWhatWasSent) {
  LabProcess lab({"--test", "--test-fault=/speed/8MB.jpg:stall=300000"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  CHttpDownloadGet client;
  std::atomic<int64_t>* total = nullptr;
  auto started = Clock::now();
  ASSERT_TRUE(client.Download(lab.Url("test", "/speed/8MB.jpg?r=0.5&key=42"), 5, &total));
  // Receivers blocked in a stalled connection still end with the time.
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(3000));
  ASSERT_EQ(total, &CHttpDownloadGet::DownloadTotal());
  Settle(lab);
  EXPECT_EQ(total->load(), 5 * 300000);
  EXPECT_EQ(lab.Stats("test").bodySent, 5 * 300000);
  EXPECT_EQ(CHttpDownloadGet::DownloadContentLength().load(), 8 << 20);
  auto requests = lab.Requests("test");
  ASSERT_EQ(requests.size(), 5u) << "a stalled receiver is not replaced before its time-out";
  for (const auto& r : requests) EXPECT_EQ(r.head, DownloadHead("/speed/8MB.jpg?r=0.5&key=42"));
}

TEST_F(ThroughputTest, EndedReceiversAreReplacedAndCounted) {
  LabProcess lab({"--test"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  CHttpDownloadGet client;
  // Whole small files: every receiver ends at its length and is replaced.
  ASSERT_TRUE(client.Download(lab.Url("test", "/speed/256KB.txt"), 5));
  Settle(lab);
  LabStats stats = lab.Stats("test");
  int64_t total = CHttpDownloadGet::DownloadTotal();
  EXPECT_GT(stats.connections, 5);
  EXPECT_LE(total, stats.bodySent);
  // Only the receivers cut off by the end of the time may have left bytes unread.
  EXPECT_GE(total, stats.bodySent - 5 * (256 << 10));
  EXPECT_GT(total, 256 << 10);

  // A length or date with "404" in it is no "not found".
  ASSERT_TRUE(client.Download(lab.Url("test", "/speed/14048B.bin"), 5));
  EXPECT_GE(CHttpDownloadGet::DownloadTotal().load(), 14048);
  EXPECT_EQ(CHttpDownloadGet::DownloadContentLength().load(), 14048);
}

TEST_F(ThroughputTest, BrokenRepliesEndTheirConnection) {
  LabProcess lab({"--test", "--test-fault=/speed/1MB.txt:404",
                  "--test-fault=/speed/2MB.jpg:nolength",
                  "--test-fault=/speed/4MB.jpg:close=5000"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  CHttpDownloadGet client;
  for (const char* file : {"/speed/1MB.txt", "/speed/2MB.jpg"}) {
    SCOPED_TRACE(file);
    ASSERT_TRUE(lab.Reset("test"));
    ASSERT_TRUE(client.Download(lab.Url("test", file), 5));
    EXPECT_EQ(CHttpDownloadGet::DownloadTotal().load(), 0);
    EXPECT_GT(lab.Stats("test").connections, 5);
  }
  ASSERT_TRUE(lab.Reset("test"));
  ASSERT_TRUE(client.Download(lab.Url("test", "/speed/4MB.jpg"), 5));
  Settle(lab);
  LabStats stats = lab.Stats("test");
  EXPECT_GT(stats.connections, 5);
  // Each connection got its 5000 bytes, but for those the end of the time cut short.
  EXPECT_LE(stats.bodySent, stats.requests * 5000);
  EXPECT_GE(stats.bodySent, (stats.requests - 5) * 5000);
  EXPECT_LE(CHttpDownloadGet::DownloadTotal().load(), stats.bodySent);
  EXPECT_GE(CHttpDownloadGet::DownloadTotal().load(), stats.bodySent - 5 * 5000);

  // A dead server: nothing counted, and the time is still kept.
  auto started = Clock::now();
  ASSERT_TRUE(
      client.Download("http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/x", 5));
  EXPECT_EQ(CHttpDownloadGet::DownloadTotal().load(), 0);
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(1490));
  EXPECT_FALSE(client.Download("not a url", 5));
}

TEST_F(ThroughputTest, ClearedRunStateEndsADownloadWithinAPass) {
  CHttpDownloadGet::SetDurationsForTest(0, 0);  // the real 20 s
  LabProcess lab({"--test", "--test-fault=/speed/133MB.rar:rate=2000000"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  CHttpDownloadGet client;
  std::thread stopper([] {
    testsupport::WaitFor([] { return CHttpDownloadGet::DownloadTotal().load() > 0; });
    CDataBase::Instance().testRunEnabled = 0;
    CDataBase::Instance().autoCycleActive = 1;
  });
  auto started = Clock::now();
  ASSERT_TRUE(client.Download(lab.Url("test", "/speed/133MB.rar"), 5));
  stopper.join();
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));
  EXPECT_GT(CHttpDownloadGet::DownloadTotal().load(), 0);
}

TEST_F(ThroughputTest, DownloadRunsItsRealTime) {
  CHttpDownloadGet::SetDurationsForTest(0, 0);
  // Throttled, so that the 20 s do not take the machine from tests running beside it.
  LabProcess lab({"--test", "--test-fault=/speed/133MB.rar:rate=5000000"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  CHttpDownloadGet client;
  auto started = Clock::now();
  ASSERT_TRUE(client.Download(lab.Url("test", "/speed/133MB.rar"), 5));
  auto took = Clock::now() - started;
  EXPECT_GE(took, std::chrono::milliseconds(CHttpDownloadGet::kDownloadDurationMs));
  EXPECT_LT(took, std::chrono::milliseconds(CHttpDownloadGet::kDownloadDurationMs + 1500));
  Settle(lab);
  LabStats stats = lab.Stats("test");
  EXPECT_EQ(stats.connections, 5) << "no receiver ended before the time";
  EXPECT_GT(CHttpDownloadGet::DownloadTotal().load(), 5 * 5000000 * 15);
  EXPECT_LE(CHttpDownloadGet::DownloadTotal().load(), stats.bodySent);
}

TEST_F(ThroughputTest, WholeFileUploadsCountWhatTheLabReceived) {
  LabProcess lab({"--test"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  std::string file;
  for (int i = 0; file.size() < 300000; ++i) file += std::to_string(i) + ",";
  Write("TestFile/up.bin", file);
  CHttpDownloadGet client;
  std::atomic<int64_t>* total = nullptr;
  ASSERT_TRUE(
      client.Upload(lab.Url("test", "/speed/doload.do?r=1&key=9"), "TestFile\\up.bin", 5, &total));
  ASSERT_EQ(total, &CHttpDownloadGet::UploadTotal());
  Settle(lab);
  LabStats stats = lab.Stats("test");
  EXPECT_GT(total->load(), static_cast<int64_t>(file.size()));
  EXPECT_NEAR(static_cast<double>(total->load()), static_cast<double>(stats.payloadBytes),
              5 * 1024);

  const std::string boundary = "----------------63686572697368";
  const int64_t framing = static_cast<int64_t>(
      ("--" + boundary +
       "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"up.bin\"\r\n\r\n")
          .size() +
      ("\r\n--" + boundary + "--\r\n").size());
  auto requests = lab.Requests("test");
  ASSERT_GT(requests.size(), 5u);
  std::set<int> connections;
  for (const auto& r : requests) {
    connections.insert(r.connection);
    EXPECT_EQ(r.head,
              "POST /speed/doload.do?r=1&key=9 HTTP/1.1\r\n"
              "Content-Type: multipart/form-data; boundary=" +
                  boundary +
                  "\r\n"
                  "Accept-Encoding: gzip, deflate\r\n" +
                  CHttpDownloadGet::kUploadAgentLine +
                  "\r\n"
                  "Cache-Control: no-cache\r\nPragma: no-cache\r\nConnection: Keep-Alive\r\n"
                  "Host: " +
                  lab.Address("test") + ":" + std::to_string(lab.Port("test")) +
                  "\r\n"
                  "Content-Length: " +
                  std::to_string(static_cast<int64_t>(file.size()) + framing) + "\r\n\r\n");
    if (r.complete) {
      EXPECT_EQ(r.payload, static_cast<int64_t>(file.size()));
    }
  }
  EXPECT_EQ(connections.size(), requests.size()) << "one request per connection";
  EXPECT_TRUE(requests.front().complete);
}

TEST_F(ThroughputTest, ChunkUploadsRepeatTheFirstPiece) {
  LabProcess lab({"--test"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  Write("conf/config.properties", "upload_method=m2\n");
  Write("TestFile/up.bin", std::string(100000, 'u'));
  CHttpDownloadGet client;
  ASSERT_TRUE(client.Upload(lab.Url("test", "/speed/doload.do"), At("TestFile/up.bin"), 5));
  Settle(lab);
  LabStats stats = lab.Stats("test");
  EXPECT_NEAR(static_cast<double>(CHttpDownloadGet::UploadTotal().load()),
              static_cast<double>(stats.bodyBytes), 32768);
  EXPECT_GT(stats.requests, 5);
  EXPECT_EQ(stats.connections, 5) << "each repeater keeps its connection";
  for (const auto& r : lab.Requests("test")) {
    EXPECT_EQ(r.declaredLength, 32768);
    std::vector<std::string> names;
    for (const auto& h : r.headers) names.push_back(h.first);
    EXPECT_EQ(names, (std::vector<std::string>{"Content-Type", "Accept-Encoding", "User-Agent",
                                               "Cache-Control", "Pragma", "Connection", "Host",
                                               "Content-Length"}));
    EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
  }

  // A missing file sends nothing.
  ASSERT_TRUE(lab.Reset("test"));
  ASSERT_TRUE(client.Upload(lab.Url("test", "/speed/doload.do"), "TestFile\\none.bin", 5));
  EXPECT_EQ(CHttpDownloadGet::UploadTotal().load(), 0);
  EXPECT_EQ(lab.Stats("test").connections, 0);
}

TEST_F(ThroughputTest, FetchAcceptsOnlyLargeNonHtmlFiles) {
  LabProcess lab({"--test", "--test-fault=/speed/2MB.txt:html", "--test-fault=/speed/3MB.bin:404",
                  "--test-fault=/speed/4MB.bin:rate=1000000"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  CHttpGet get;
  int64_t connectMs = -1, loadMs = -1, length = -1;
  std::atomic<int64_t>* total = nullptr;
  EXPECT_FALSE(
      get.Fetch(lab.Url("test", "/speed/1000000B.bin"), 10, &connectMs, &loadMs, &length, &total));
  EXPECT_EQ(length, 0);
  ASSERT_EQ(total, &CHttpGet::FetchTotal());
  EXPECT_FALSE(get.Fetch(lab.Url("test", "/speed/2MB.txt"), 10, &connectMs, &loadMs, &length));
  EXPECT_FALSE(get.Fetch(lab.Url("test", "/speed/3MB.bin"), 10, &connectMs, &loadMs, &length));
  EXPECT_FALSE(get.Fetch("http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/x", 10,
                         &connectMs, &loadMs, &length));

  ASSERT_TRUE(lab.Reset("test"));
  ASSERT_TRUE(get.Fetch(lab.Url("test", "/speed/1000001B.bin"), -1, &connectMs, &loadMs, &length));
  EXPECT_EQ(length, 1000001);
  EXPECT_EQ(CHttpGet::FetchTotal().load(), 1000001);
  EXPECT_GE(connectMs, 0);
  EXPECT_GE(loadMs, 0);
  auto requests = lab.Requests("test");
  ASSERT_EQ(requests.size(), 2u) << "the probe and the receiver";
  for (const auto& r : requests)
    EXPECT_EQ(r.head,
              "GET /speed/1000001B.bin HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\n"
              "Connection: Keep-Alive\r\nHost: 127.0.0.1\r\nPragma: no-cache\r\n\r\n");

  // The time-out ends a slow transfer part way.
  auto started = Clock::now();
  ASSERT_TRUE(get.Fetch(lab.Url("test", "/speed/4MB.bin"), 1, &connectMs, &loadMs, &length));
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(2500));
  EXPECT_GE(loadMs, 1000);
  EXPECT_GT(CHttpGet::FetchTotal().load(), 0);
  EXPECT_LT(CHttpGet::FetchTotal().load(), 4 << 20);
}

TEST_F(ThroughputTest, UploadsRunOneAtATimeAndStopWithTheRunState) {
  CHttpDownloadGet::SetDurationsForTest(0, 0);  // the real 18 s, cut short below
  // The lab takes bodies slowly, so the stop always finds a request part way.
  LabProcess lab({"--test", "--test-fault=/speed/doload.do:rate=8000000"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  Write("TestFile/up.bin", std::string(16 << 20, 'u'));
  CHttpDownloadGet first, second;
  bool result = false;
  auto started = Clock::now();
  std::thread running(
      [&] { result = first.Upload(lab.Url("test", "/speed/doload.do"), "TestFile\\up.bin", 5); });
  ASSERT_TRUE(testsupport::WaitFor([] { return CHttpDownloadGet::UploadTotal().load() > 0; }));
  // A second upload would reset the running one's total.
  EXPECT_FALSE(second.Upload(lab.Url("test", "/speed/doload.do"), "TestFile\\up.bin", 5));
  CDataBase::Instance().testRunEnabled = 0;
  CDataBase::Instance().autoCycleActive = 1;
  running.join();
  EXPECT_TRUE(result);
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(5));
  Settle(lab);
  // Abandoned requests stop mid-body; what was counted arrived.
  EXPECT_NEAR(static_cast<double>(CHttpDownloadGet::UploadTotal().load()),
              static_cast<double>(lab.Stats("test").payloadBytes), 5 * 1024);
  bool cut = false;
  for (const auto& r : lab.Requests("test")) cut = cut || !r.complete;
  EXPECT_TRUE(cut);
}

TEST_F(ThroughputTest, ChunkRepeaterReplacedWhenTheServerDropsIt) {
  LabProcess lab({"--test", "--test-fault=/speed/doload.do:close=0"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  Write("conf/l_c_config_01.properties", "upload_method=m2\n");
  Write("TestFile/small.bin", std::string(1000, 's'));
  CHttpDownloadGet client;
  ASSERT_TRUE(client.Upload(lab.Url("test", "/speed/doload.do"), "TestFile\\small.bin", 5));
  Settle(lab);
  LabStats stats = lab.Stats("test");
  // One request per dropped connection (those opened as the time ran out may carry none).
  EXPECT_LE(stats.requests, stats.connections);
  EXPECT_GE(stats.requests, stats.connections - 5);
  EXPECT_GT(stats.connections, 5);
  EXPECT_EQ(stats.bodyBytes, stats.requests * 1000);
  EXPECT_EQ(CHttpDownloadGet::UploadTotal().load(), stats.bodyBytes);
}

// A reader slower than the socket buffers are large: both senders must count what the lab
// took, second by second, not what the sockets took.
TEST_F(ThroughputTest, UploadCountsFollowARateLimitedReader) {
  constexpr int64_t kRate = 3000000;  // per connection
  LabProcess lab({"--test", "--test-fault=/speed/doload.do:rate=" + std::to_string(kRate)});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  Write("TestFile/up.bin", std::string(2 << 20, 'u'));
  for (const char* method : {"m1", "m2"}) {
    SCOPED_TRACE(method);
    Write("conf/l_c_config_01.properties", std::string("upload_method=") + method + "\n");
    ASSERT_TRUE(lab.Reset("test"));
    CHttpDownloadGet::SetDurationsForTest(1500, 6500);
    CHttpDownloadGet client;
    std::atomic<bool> running{true};
    std::thread upload([&] {
      EXPECT_TRUE(client.Upload(lab.Url("test", "/speed/doload.do"), "TestFile\\up.bin", 5));
      running = false;
    });
    // One-second samples of both sides, as the engine's sampler takes them.
    std::vector<std::pair<int64_t, int64_t>> samples;  // (client, lab) bytes in the second
    int64_t lastClient = 0, lastLab = 0;
    auto due = Clock::now() + std::chrono::milliseconds(500);
    for (int i = 0; i < 5; ++i) {
      due += std::chrono::seconds(1);
      std::this_thread::sleep_until(due);
      int64_t client = CHttpDownloadGet::UploadTotal().load();
      int64_t received = lab.Stats("test").payloadBytes;
      samples.emplace_back(client - lastClient, received - lastLab);
      lastClient = client;
      lastLab = received;
    }
    upload.join();
    EXPECT_FALSE(running);
    Settle(lab);
    const int64_t total = CHttpDownloadGet::UploadTotal().load();
    const int64_t received = lab.Stats("test").payloadBytes;
    EXPECT_NEAR(static_cast<double>(total), static_cast<double>(received),
                0.10 * static_cast<double>(received));
    EXPECT_LE(received, static_cast<int64_t>(5 * kRate * 6.5 * 1.1)) << "the lab is the bottleneck";
    for (size_t i = 1; i < samples.size(); ++i) {
      SCOPED_TRACE("second " + std::to_string(i + 1));
      EXPECT_GT(samples[i].second, 0);
      EXPECT_NEAR(static_cast<double>(samples[i].first), static_cast<double>(samples[i].second),
                  0.20 * static_cast<double>(samples[i].second));
    }
  }
}

// A server that stops reading: a blocked send still sees the end of the time.
TEST_F(ThroughputTest, UploadToAReaderThatStopsEndsWithItsTime) {
  CHttpDownloadGet::SetDurationsForTest(0, 0);  // the real 18 s
  LabProcess lab({"--test", "--test-fault=/speed/doload.do:stallbody=100000"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  Write("TestFile/up.bin", std::string(16 << 20, 'u'));
  CHttpDownloadGet client;
  auto started = Clock::now();
  ASSERT_TRUE(client.Upload(lab.Url("test", "/speed/doload.do"), "TestFile\\up.bin", 5));
  auto took = Clock::now() - started;
  EXPECT_GE(took, std::chrono::milliseconds(CHttpDownloadGet::kUploadDurationMs));
  EXPECT_LT(took, std::chrono::milliseconds(CHttpDownloadGet::kUploadDurationMs + 1000));
  Settle(lab);
  LabStats stats = lab.Stats("test");
  EXPECT_GE(stats.requests, 5);
  EXPECT_EQ(stats.bodyBytes, stats.requests * 100000);
}

TEST_F(ThroughputTest, StopInTheMiddleOfASendEndsTheUploadAtOnce) {
  CHttpDownloadGet::SetDurationsForTest(0, 0);
  LabProcess lab({"--test", "--test-fault=/speed/doload.do:stallbody=100000"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  Write("TestFile/up.bin", std::string(16 << 20, 'u'));
  CHttpDownloadGet client;
  std::atomic<int64_t> ended{0};
  std::thread upload([&] {
    EXPECT_TRUE(client.Upload(lab.Url("test", "/speed/doload.do"), "TestFile\\up.bin", 5));
    ended = Clock::now().time_since_epoch().count();
  });
  // Every sender has filled the buffers of a reader that stopped: each is blocked in a send.
  EXPECT_TRUE(testsupport::WaitFor([&] {
    LabStats stats = lab.Stats("test");
    return stats.requests == 5 && stats.bodyBytes == 5 * 100000;
  }));
  int64_t sent = 0;
  EXPECT_TRUE(testsupport::WaitFor([&] {
    int64_t now = CHttpDownloadGet::UploadTotal().load();
    bool still = now == sent && now > 0;
    sent = now;
    return still;
  }));
  auto stopped = Clock::now();
  CDataBase::Instance().testRunEnabled = 0;
  CDataBase::Instance().autoCycleActive = 1;
  upload.join();
  auto took = Clock::duration(ended.load()) - stopped.time_since_epoch();
  EXPECT_LT(took, std::chrono::milliseconds(200));
  EXPECT_EQ(lab.Stats("test").requests, 5) << "no sender was replaced after the stop";
}
