#include "update_client/download_binding.h"

#include <gtest/gtest.h>
#include <nettle/md5.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "lab_fixture.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::string Md5Hex(const std::string& data, bool upper = false) {
  md5_ctx ctx;
  md5_init(&ctx);
  md5_update(&ctx, data.size(), reinterpret_cast<const uint8_t*>(data.data()));
  uint8_t d[MD5_DIGEST_SIZE];
  md5_digest(&ctx, MD5_DIGEST_SIZE, d);
  std::string out;
  char buf[3];
  for (uint8_t b : d) {
    std::snprintf(buf, sizeof buf, upper ? "%02X" : "%02x", b);
    out += buf;
  }
  return out;
}

class DownloadBinding : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("libUpdater.so");
    fs::create_directories(At("served"));
    fs::create_directories(At("got"));
    m_body.reserve(300000);
    for (int i = 0; m_body.size() < 300000; ++i) m_body += "line " + std::to_string(i) + " 中文\n";
    Write("served/file.bin", m_body);
  }

  // Files in a folder, temporary leftovers included.
  std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(At(folder))) names.push_back(e.path().filename());
    return names;
  }

  std::string DebugLog() {
    for (const auto& e : fs::directory_iterator(At("log")))
      if (e.path().filename().string().find("debug.log") != std::string::npos)
        return testsupport::ReadFile(e.path());
    return {};
  }

  std::string m_body;
};

TEST_F(DownloadBinding, WholeFileArrivesWithOrWithoutDigest) {
  LabProcess lab({"--update", "--update-root=" + At("served")});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  const std::string url = lab.Url("update", "/file.bin");

  EXPECT_EQ(CallHttpDownLoad("got\\plain.bin", url, ""), 1);
  EXPECT_EQ(Read("got/plain.bin"), m_body);
  EXPECT_EQ(CallHttpDownLoad(At("got/checked.bin"), url, Md5Hex(m_body)), 1);
  EXPECT_EQ(Read("got/checked.bin"), m_body);
  EXPECT_EQ(CallHttpDownLoad("got/upper.bin", url, Md5Hex(m_body, true)), 1);
  // An existing file is replaced.
  Write("got/plain.bin", "old");
  EXPECT_EQ(CallHttpDownLoad("got/plain.bin", url, ""), 1);
  EXPECT_EQ(Read("got/plain.bin"), m_body);
  EXPECT_EQ(FilesIn("got").size(), 3u);

  std::string log = DebugLog();
  // The log is written in GBK.
  EXPECT_NE(log.find("," + codepage::Utf8ToGbk("开始调用动态库文件Updater.dll") + "\n"),
            std::string::npos);
  EXPECT_NE(log.find("," + codepage::Utf8ToGbk("调用动态库文件Updater.dll结束") + "\n"),
            std::string::npos);
}

TEST_F(DownloadBinding, FailuresLeaveNothingAtTheDestination) {
  LabProcess lab({"--update", "--update-root=" + At("served")});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  const std::string url = lab.Url("update", "/file.bin");

  // Wrong digest: 108, and a file already there stays as it was.
  Write("got/kept.bin", "previous");
  EXPECT_EQ(CallHttpDownLoad("got/kept.bin", url, Md5Hex("something else")), 108);
  EXPECT_EQ(Read("got/kept.bin"), "previous");
  EXPECT_EQ(CallHttpDownLoad("got/new.bin", url, "not a digest"), 108);

  EXPECT_EQ(CallHttpDownLoad("got/a.bin", lab.Url("update", "/absent.bin"), ""), 105);
  ASSERT_TRUE(lab.SetFault("update", "/file.bin", "status=500"));
  EXPECT_EQ(CallHttpDownLoad("got/a.bin", url, ""), 104);
  ASSERT_TRUE(lab.SetFault("update", "/file.bin", "close=1000"));
  EXPECT_EQ(CallHttpDownLoad("got/a.bin", url, ""), 106);
  ASSERT_TRUE(lab.SetFault("update", "/file.bin", "nolength"));
  EXPECT_EQ(CallHttpDownLoad("got/a.bin", url, ""), 106);
  ASSERT_TRUE(lab.ClearFaults("update"));

  int port = testsupport::FreePort();  // nobody listens there
  EXPECT_EQ(
      CallHttpDownLoad("got/a.bin", "http://127.0.0.1:" + std::to_string(port) + "/file.bin", ""),
      102);
  EXPECT_EQ(CallHttpDownLoad("got/a.bin", "nonsense://x", ""), 103);

  // Path problems: a missing folder, a folder as the target, nothing given.
  EXPECT_EQ(CallHttpDownLoad("missing/a.bin", url, ""), 101);
  EXPECT_EQ(CallHttpDownLoad("got", url, ""), 101);
  EXPECT_EQ(CallHttpDownLoad("", url, ""), 101);
  // A folder nobody may create files in (root ignores modes, so use one of /proc).
  EXPECT_EQ(CallHttpDownLoad("/proc/self/a.bin", url, ""), 107);

  EXPECT_EQ(FilesIn("got"), std::vector<std::string>{"kept.bin"});
}

TEST_F(DownloadBinding, StalledServerIsGivenUp) {
  LabProcess lab({"--update", "--update-root=" + At("served")});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  const std::string url = lab.Url("update", "/file.bin");
  ::setenv("KESTRANE_DOWNLOAD_STALL_SECONDS", "1", 1);
  for (const char* fault : {"stall=5000", "stallhead"}) {
    ASSERT_TRUE(lab.SetFault("update", "/file.bin", fault));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CallHttpDownLoad("got/a.bin", url, ""), 104) << fault;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << fault;
  }
  ::unsetenv("KESTRANE_DOWNLOAD_STALL_SECONDS");
  EXPECT_TRUE(FilesIn("got").empty());
}

TEST_F(DownloadBinding, MissingLibraryOrExportGiveTheirOwnCodes) {
  fs::rename(At("libUpdater.so"), At("libUpdater.so.away"));
  EXPECT_EQ(CallHttpDownLoad("got/a.bin", "http://127.0.0.1:1/x", ""), 109);
  EXPECT_NE(DebugLog().find(",Error\n"), std::string::npos);

  testsupport::CopyFile(STUB_NOEXPORT_LIB, At("libUpdater.so"));
  EXPECT_EQ(CallHttpDownLoad("got/a.bin", "http://127.0.0.1:1/x", ""), 110);
  EXPECT_NE(DebugLog().find(",Error:"), std::string::npos);

  // A library that reports a digest mismatch: without an expected digest that is success.
  fs::remove(At("libUpdater.so"));
  testsupport::CopyFile(STUB_DIGEST_LIB, At("libUpdater.so"));
  EXPECT_EQ(CallHttpDownLoad("got/a.bin", "http://127.0.0.1:1/x", ""), 1);
  EXPECT_EQ(CallHttpDownLoad("got/a.bin", "http://127.0.0.1:1/x", "0123"), 108);

  // The library is bound anew at each call: putting the real one back works at once.
  fs::remove(At("libUpdater.so"));
  fs::rename(At("libUpdater.so.away"), At("libUpdater.so"));
  EXPECT_EQ(CallHttpDownLoad("got/a.bin", "http://127.0.0.1:1/x", ""), 102);
}

TEST_F(DownloadBinding, ConcurrentCallsEachGetTheirFile) {
  LabProcess lab({"--update", "--update-root=" + At("served")});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  const std::string url = lab.Url("update", "/file.bin");
  const std::string md5 = Md5Hex(m_body);
  std::vector<int> results(6, 0);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < results.size(); ++i)
    threads.emplace_back(
        [&, i] { results[i] = CallHttpDownLoad("got/f" + std::to_string(i) + ".bin", url, md5); });
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(results[i], 1);
    EXPECT_EQ(Read("got/f" + std::to_string(i) + ".bin"), m_body);
  }
}

TEST(DownloadErrorText, MessagesFollowTheCodes) {
  EXPECT_EQ(DownloadErrorText(1), "");
  EXPECT_EQ(DownloadErrorText(101), "下载功能中检测路径出错");
  EXPECT_EQ(DownloadErrorText(105), "下载功能中HTTP 404异常");
  EXPECT_EQ(DownloadErrorText(108), "下载功能中MD5校验错误");
  EXPECT_EQ(DownloadErrorText(110), "下载功能中GetProcAddress错误");
  EXPECT_EQ(DownloadErrorText(0), "其他错误");
  EXPECT_EQ(DownloadErrorText(111), "其他错误");
}

}  // namespace
