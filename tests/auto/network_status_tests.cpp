// Real ICMP probes to loopback through the binding and the library in the program folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <regex>
#include <thread>
#include <vector>

#include "auto/network_status_binding.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

class NetworkStatusTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist(netstatus::kLibraryName);
  }
  // Without raw sockets (not root) and without ping_group_range the probes cannot run at all.
  static bool IcmpClosed(const netstatus::PingResult& r) {
    return !r.success && r.transmitted == 0 && geteuid() != 0;
  }
  static constexpr const char* kIcmpClosed =
      "no ICMP socket: neither root nor allowed by net.ipv4.ping_group_range";
};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

TEST_F(NetworkStatusTest, PingsLoopbackWithAtLeastFourRequestsAndSaneStatistics) {
  auto start = Clock::now();
  // Fewer than four requests are raised to four.
  netstatus::PingResult r = netstatus::Ping("127.0.0.1", 2);
  double took = Seconds(start);
  if (IcmpClosed(r)) GTEST_SKIP() << kIcmpClosed;
  EXPECT_EQ(r.success, 1);
  EXPECT_EQ(r.transmitted, 4);
  EXPECT_EQ(r.received, 4);
  EXPECT_EQ(r.loss, "0%");
  EXPECT_EQ(r.destination, "127.0.0.1");
  EXPECT_EQ(r.source, "127.0.0.1");
  EXPECT_EQ(r.host, "127.0.0.1");
  EXPECT_EQ(r.packetSize, 84);
  EXPECT_GT(r.minimum, 0.0f);
  EXPECT_LE(r.minimum, r.average);
  EXPECT_LE(r.average, r.maximum);
  EXPECT_LT(r.maximum, 1000.0f);
  EXPECT_GE(r.stddev, 0.0f);
  EXPECT_LE(r.stddev, r.maximum - r.minimum);
  ASSERT_EQ(r.lines.size(), 4u);
  std::regex reply(R"(64 bytes from 127\.0\.0\.1: icmp_seq=(\d) ttl=64 time=(\d+(\.\d+)?) ms)");
  for (size_t i = 0; i < r.lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.lines[i], m, reply)) << r.lines[i];
    EXPECT_EQ(m[1].str(), std::to_string(i + 1));
    double ms = std::stod(m[2].str());
    EXPECT_GE(ms, r.minimum - 0.001);
    EXPECT_LE(ms, r.maximum + 0.001);
  }
  // One request a second: the last goes out after three seconds, and loopback answers at once.
  EXPECT_GE(took, 2.9);
  EXPECT_LT(took, 4 * 2.0);
}

// The system's ping, when installed, prints the same reply lines up to the measured time.
TEST_F(NetworkStatusTest, ReplyLinesReadLikeTheSystemPing) {
  FILE* pipe = popen("ping -n -c 1 -W 1 127.0.0.1 2>/dev/null", "r");
  ASSERT_NE(pipe, nullptr);
  std::string systemLine;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe))
    if (std::string(buffer).find("bytes from") != std::string::npos) systemLine = buffer;
  pclose(pipe);
  if (systemLine.empty()) GTEST_SKIP() << "the system's ping is not available here";

  netstatus::PingResult r = netstatus::Ping("127.0.0.1", 4);
  if (IcmpClosed(r)) GTEST_SKIP() << kIcmpClosed;
  ASSERT_FALSE(r.lines.empty());
  auto beforeTime = [](const std::string& line) { return line.substr(0, line.find("time=")); };
  EXPECT_EQ(beforeTime(r.lines[0]), beforeTime(systemLine));
}

// Many probes of one process at once (as the shared-line check runs them) keep their answers apart.
TEST_F(NetworkStatusTest, ConcurrentPingsEachCountOnlyTheirOwnReplies) {
  constexpr int kProbes = 20;
  std::vector<netstatus::PingResult> results(kProbes);
  std::vector<std::thread> threads;
  auto start = Clock::now();
  for (int i = 0; i < kProbes; ++i)
    threads.emplace_back([&results, i] { results[i] = netstatus::Ping("127.0.0.1", 4); });
  for (auto& t : threads) t.join();
  if (IcmpClosed(results[0])) GTEST_SKIP() << kIcmpClosed;
  for (const auto& r : results) {
    EXPECT_EQ(r.transmitted, 4);
    EXPECT_EQ(r.received, 4);
    EXPECT_EQ(r.lines.size(), 4u);
  }
  EXPECT_LT(Seconds(start), 4 * 2.0);
}

TEST_F(NetworkStatusTest, ResolvesHostNamesAndTracesLoopbackInOneHop) {
  netstatus::PingResult p = netstatus::Ping("localhost", 4);
  if (IcmpClosed(p)) GTEST_SKIP() << kIcmpClosed;
  EXPECT_EQ(p.success, 1);
  EXPECT_EQ(p.host, "localhost");
  EXPECT_EQ(p.destination, "127.0.0.1");

  netstatus::TraceResult t = netstatus::Tracert("127.0.0.1", 5);
  EXPECT_EQ(t.success, 1);
  EXPECT_EQ(t.destination, "127.0.0.1");
  EXPECT_EQ(t.source, "127.0.0.1");
  ASSERT_EQ(t.lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(t.lines[0], std::regex(R"(1  127\.0\.0\.1(  \d+\.\d{3} ms){3})")))
      << t.lines[0];
}

// The records written from these lines go to peers: times keep their decimal point under a
// locale with a decimal comma, which a windowed program takes from the user.
TEST_F(NetworkStatusTest, TimesIgnoreTheProcessLocale) {
  testsupport::ScopedLocale locale("de_DE.UTF-8");
  ASSERT_TRUE(locale.Active()) << "de_DE.UTF-8 is not installed (scripts/setup generates it)";
  netstatus::TraceResult t = netstatus::Tracert("127.0.0.1", 5);
  if (!t.success && geteuid() != 0) GTEST_SKIP() << kIcmpClosed;
  ASSERT_EQ(t.lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(t.lines[0], std::regex(R"(1  127\.0\.0\.1(  \d+\.\d{3} ms){3})")))
      << t.lines[0];
  netstatus::PingResult p = netstatus::Ping("127.0.0.1", 4);
  ASSERT_EQ(p.lines.size(), 4u);
  for (const auto& line : p.lines) {
    EXPECT_TRUE(std::regex_search(line, std::regex(R"( time=\d+(\.\d+)? ms$)"))) << line;
  }
}

TEST_F(NetworkStatusTest, EmptyDestinationGivesNoResult) {
  auto start = Clock::now();
  netstatus::PingResult p = netstatus::Ping("", 4);
  netstatus::TraceResult t = netstatus::Tracert("", 5);
  EXPECT_EQ(p.success, 0);
  EXPECT_EQ(p.received, 0);
  EXPECT_TRUE(p.lines.empty());
  EXPECT_EQ(t.success, 0);
  EXPECT_TRUE(t.lines.empty());
  EXPECT_LT(Seconds(start), 1.0);
}

class NetworkStatusMissingTest : public ProgramFolderTest {};

TEST_F(NetworkStatusMissingTest, MissingLibraryOrExportGivesSuccessZero) {
  // No library in the program folder.
  netstatus::PingResult p = netstatus::Ping("127.0.0.1", 4);
  EXPECT_EQ(p.success, 0);
  EXPECT_EQ(p.destination, "127.0.0.1");
  EXPECT_TRUE(p.lines.empty());
  netstatus::TraceResult t = netstatus::Tracert("127.0.0.1", 5);
  EXPECT_EQ(t.success, 0);
  EXPECT_TRUE(t.lines.empty());

  // A library of that name without the exports.
  testsupport::CopyFile(EMPTY_LIBRARY_PATH, At(netstatus::kLibraryName));
  EXPECT_EQ(netstatus::Ping("127.0.0.1", 4).success, 0);
  EXPECT_EQ(netstatus::Tracert("127.0.0.1", 5).success, 0);

  // A file that is no library at all.
  Write("garbage.so", "not a shared object");
  EXPECT_EQ(netstatus::Ping(At("garbage.so"), "127.0.0.1", 4).success, 0);
}

}  // namespace
