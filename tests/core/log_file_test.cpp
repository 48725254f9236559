#include "core/log_file.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/codepage.h"
#include "test_support.h"

namespace {

class LogTest : public ProgramFolderTest {};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) out.push_back(line);
  return out;
}

TEST_F(LogTest, WritesStampedLinesRelativeToProgramFolder) {
  LogFile log;
  log.Open("log\\test.log");
  log.Write("value %d and %s", 7, "测试");
  log.Close();
  std::string text = Read("log/test.log");
  std::string expected = codepage::Utf8ToGbk("value 7 and 测试");
  std::regex line("\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}," + expected + "\n");
  EXPECT_TRUE(std::regex_match(text, line)) << text;
}

TEST_F(LogTest, ShortNamesAreIgnoredAndWritesDoNothing) {
  LogFile log;
  log.Open("a.l");
  EXPECT_FALSE(log.IsOpen());
  log.Write("nothing");
  EXPECT_FALSE(testsupport::Exists(At("a.l")));

  // A refused name still closes the file that was open: later writes go nowhere.
  log.Open("log\\open.log");
  log.Write("kept");
  log.Open("a.l");
  EXPECT_FALSE(log.IsOpen());
  EXPECT_TRUE(log.Path().empty());
  log.Write("lost");
  const std::string text = Read("log/open.log");
  EXPECT_NE(text.find(",kept\n"), std::string::npos);
  EXPECT_EQ(text.find("lost"), std::string::npos);
}

// Writers on one object while another thread closes and reopens it: the descriptor is only
// used under the lock (the thread sanitizer run catches a write that reads it outside).
TEST_F(LogTest, WritesAndClosesFromTwoThreadsOnOneObject) {
  LogFile log;
  log.Open("log\\race.log");
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) log.Write("line %d", i);
    stop = true;
  });
  while (!stop) {
    log.Close();
    log.Open("log\\race.log");
  }
  writer.join();
  log.Close();
  for (const auto& line : Lines(Read("log/race.log"))) {
    EXPECT_TRUE(
        std::regex_match(line, std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2},line \d+)")))
        << line;
  }
}

TEST_F(LogTest, AbsoluteNamesAndMissingFolders) {
  LogFile log;
  log.Open(At("abs.log"));
  log.Write("x");
  log.Close();
  EXPECT_FALSE(Read("abs.log").empty());

  LogFile broken;
  broken.Open("no_such_folder\\x.log");
  EXPECT_FALSE(broken.IsOpen());
  broken.Write("lost quietly");  // no crash, no file
}

TEST_F(LogTest, DailyNamesFollowThePattern) {
  logs::Write(logs::kManual, "manual %s", "line");
  char name[64];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(name, sizeof name, "log/%Y-%m-%dManual.log", &tm);
  EXPECT_NE(Read(name).find(",manual line\n"), std::string::npos);
}

TEST_F(LogTest, FileOfExactlyOneMebibyteIsAppendedThenEmptied) {
  std::string path = At("log/big.log");
  testsupport::WriteFile(path, std::string(LogFile::kMaxSize, 'x'));
  LogFile log;
  log.Open("log\\big.log");
  log.Write("first");
  std::string afterFirst = Read("log/big.log");
  EXPECT_GT(afterFirst.size(), static_cast<size_t>(LogFile::kMaxSize));
  EXPECT_EQ(afterFirst.substr(afterFirst.size() - 7), ",first\n");
  log.Write("second");
  log.Close();
  auto lines = Lines(Read("log/big.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(",second"), std::string::npos);
}

TEST_F(LogTest, LongMessagesAreCutTo255GbkBytesWithoutSplittingACharacter) {
  std::string ascii(300, 'a');
  std::string chinese;
  for (int i = 0; i < 200; ++i) chinese += "汉";  // 2 GBK bytes each
  std::string mixed = "a";
  for (int i = 0; i < 200; ++i) mixed += "汉";  // 1 + 2n: 255 fits exactly at n = 127

  LogFile log;
  log.Open("log\\cut.log");
  log.WriteText(ascii);
  log.WriteText(chinese);
  log.WriteText(mixed);
  log.Close();
  auto lines = Lines(Read("log/cut.log"));
  ASSERT_EQ(lines.size(), 3u);
  auto message = [](const std::string& l) { return l.substr(l.find(',') + 1); };
  EXPECT_EQ(message(lines[0]).size(), 255u);
  EXPECT_EQ(message(lines[1]).size(), 254u);
  EXPECT_EQ(codepage::GbkToUtf8(message(lines[1])), codepage::CutToChars(chinese, 127));
  EXPECT_EQ(message(lines[2]).size(), 255u);
}

TEST_F(LogTest, ConcurrentWritersAppendWholeLines) {
  const int kLines = 1000;
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    for (int i = 0; i < kLines; ++i) logs::Write("log\\shared.log", "process line %04d %s", i, std::string(80, 'p').c_str());
    _exit(0);
  }
  auto writer = [&](char tag) {
    for (int i = 0; i < kLines; ++i) {
      LogFile log;
      log.Open("log\\shared.log");
      log.Write("thread %c line %04d %s", tag, i, std::string(100, tag).c_str());
    }
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  int status = 0;
  waitpid(child, &status, 0);
  auto lines = Lines(Read("log/shared.log"));
  ASSERT_EQ(lines.size(), 3u * kLines);
  std::regex whole(
      "\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2},(thread ([ab]) line \\d{4} \\2{100}|process line \\d{4} p{80})");
  for (const auto& l : lines) ASSERT_TRUE(std::regex_match(l, whole)) << l;
}

}  // namespace
