#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "platform/process.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

class ProcessTest : public ProgramFolderTest {};

TEST_F(ProcessTest, ArgumentsReachTheChildUninterpreted) {
  // Shell metacharacters must arrive as plain text: nothing runs them.
  std::string out = At("args.txt");
  int code = platform::RunProcess(
      "/bin/sh", {"-c", "printf '%s|' \"$@\" > \"$0\"", out, "a b", "$(touch pwned)", ";", "*"});
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Read("args.txt"), "a b|$(touch pwned)|;|*|");
  EXPECT_FALSE(testsupport::Exists(At("pwned")));
}

TEST_F(ProcessTest, ExitCodesMissingProgramsAndWorkingFolder) {
  EXPECT_EQ(platform::RunProcess("sh", {"-c", "exit 7"}), 7);
  EXPECT_EQ(platform::SpawnProcess("kestrane-no-such-program", {}), -1);
  EXPECT_EQ(platform::SpawnProcess("./not-here", {}), -1);
  EXPECT_EQ(platform::RunProcess("kestrane-no-such-program", {}), -1);

  platform::SpawnOptions options;
  options.workingFolder = At("Data");
  EXPECT_EQ(platform::RunProcess("sh", {"-c", "pwd > where.txt"}, -1, options), 0);
  EXPECT_EQ(Read("Data/where.txt"), std::filesystem::canonical(At("Data")).string() + "\n");

  // The child's standard streams are not this process's.
  EXPECT_EQ(
      platform::RunProcess("sh", {"-c", "readlink /proc/$$/fd/0 /proc/$$/fd/2 > fd1"}, -1, options),
      0);
  EXPECT_EQ(Read("Data/fd1"), "/dev/null\n/dev/null\n");
}

TEST_F(ProcessTest, WaitTimesOutAndOverrunningChildIsKilled) {
  pid_t pid = platform::SpawnProcess("sleep", {"30"});
  ASSERT_GT(pid, 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::WaitProcess(pid, 50).status, platform::WaitStatus::TimedOut);
  kill(pid, SIGTERM);
  auto r = platform::WaitProcess(pid, 5000);
  EXPECT_EQ(r.status, platform::WaitStatus::Signalled);
  EXPECT_EQ(r.code, SIGTERM);

  EXPECT_EQ(platform::RunProcess("sleep", {"30"}, 100), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(ProcessTest, FindsAndKillsByLowerCasedExecutableName) {
  // A copy of sleep under a name of our own stands in for another program of the suite.
  std::string program = At("KestraneProbe");
  testsupport::CopyFile("/bin/sleep", program);
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  EXPECT_FALSE(platform::IsProcessRunning("KestraneProbe.exe"));
  EXPECT_EQ(platform::KillProcessByName("KestraneProbe.exe"), 0);

  pid_t pid = platform::SpawnProcess(program, {"30"});
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(testsupport::WaitFor([] { return platform::IsProcessRunning("kestraneprobe"); }));
  EXPECT_TRUE(platform::IsProcessRunning("KESTRANEPROBE.EXE"));
  EXPECT_FALSE(platform::IsProcessRunning("kestraneprob"));

  EXPECT_EQ(platform::KillProcessByName("KestraneProbe.exe"), 1);
  EXPECT_FALSE(platform::IsProcessRunning("kestraneprobe"));
  // KillProcessByName has reaped it already.
  EXPECT_EQ(platform::WaitProcess(pid, 0).status, platform::WaitStatus::Failed);
}

TEST_F(ProcessTest, ProcessListHoldsThisProcessUnderItsLowerCasedName) {
  auto list = platform::ListProcesses();
  ASSERT_FALSE(list.empty());
  bool self = false;
  for (const auto& p : list) {
    std::string lower = p.name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(p.name, lower);
    if (p.pid == getpid()) self = p.name == "process_tests";
  }
  EXPECT_TRUE(self);
  EXPECT_EQ(platform::NormalizeProcessName(".\\Update.exe"), "update");
  EXPECT_EQ(platform::NormalizeProcessName("/opt/k/Kestrane"), "kestrane");
}

}  // namespace
