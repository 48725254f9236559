#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "lab_fixture.h"
#include "test_support.h"
#include "update_client/update_manifest.h"
#include "update_client/update_process.h"
#include "update_client/updater.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandOutput;
using testsupport::WaitFor;

const char* kManifest = R"(<?xml version="1.0" encoding="UTF-8"?>
<updates>
  <Version>1.0.1</Version>
  <UpdateInfo><note>第一条</note><note>second</note></UpdateInfo>
  <versions><versionid id="100">1.0.0</versionid></versions>
  <versions><versionid id="101">1.0.1</versionid></versions>
</updates>
)";

// Process state letter, or 0 when the process is gone.
char State(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return 0;
  return line[line.rfind(')') + 2];
}

class ManualCheck : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    fs::create_directories(At("served"));
    Write("served/update.xml", kManifest);
    m_lab = std::make_unique<LabProcess>(
        std::vector<std::string>{"--update", "--update-root=" + At("served")});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    Configure(m_lab->Url("update", "/"), "update.xml");
    Write("conf/update_process.properties",
          "#user config\nupdate_process_id=0\nupdate_app_ver=1.0.0\nnew_app_ver=1.0.0\n");
    m_bounds = ManifestFetchBounds();
  }
  void TearDown() override {
    SetManifestFetchBounds(m_bounds);
    ProgramFolderTest::TearDown();
  }
  void Configure(const std::string& server, const std::string& name,
                 const std::string& extra = "") {
    Write("conf/config.properties", "#user config\r\nupdate_server_path=" + server +
                                        "\r\nupdate_ver_file_name=" + name + "\r\n" + extra);
  }

  std::unique_ptr<LabProcess> m_lab;
  FetchBounds m_bounds;
};

TEST_F(ManualCheck, SameAndNewerVersions) {
  CUpdater updater;
  bool failed = true;
  EXPECT_FALSE(updater.IsAppUpToDate(&failed));
  EXPECT_FALSE(failed);
  EXPECT_EQ(Read("tmp/update.xml"), kManifest);
  std::string notes, error;
  ASSERT_TRUE(updater.ReadManifestNotes(notes, error));
  EXPECT_EQ(notes, "第一条\nsecond\n");

  auto requests = m_lab->Requests("update");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/update.xml");
  EXPECT_EQ(requests[0].Header("User-Agent"), "Kestrane");
  EXPECT_EQ(requests[0].Header("Cache-Control"), "no-cache");
  EXPECT_EQ(requests[0].Header("Pragma"), "no-cache");

  Write("conf/update_process.properties", "new_app_ver=1.0.1\n");
  EXPECT_TRUE(updater.IsAppUpToDate(&failed));
  EXPECT_FALSE(failed);
  EXPECT_TRUE(DeleteFolderTree("tmp"));
  EXPECT_FALSE(fs::exists(At("tmp")));
}

TEST_F(ManualCheck, NoManifestIsAFailedCheck) {
  CUpdater updater;
  std::string version, notes, error;
  ASSERT_TRUE(updater.FetchManifestVersion(version));
  ASSERT_TRUE(fs::exists(At("tmp/update.xml")));

  // 404: the old copy is gone, so no stale notes are shown.
  m_lab->SetFault("update", "/update.xml", "404");
  bool failed = false;
  EXPECT_FALSE(updater.IsAppUpToDate(&failed));
  EXPECT_TRUE(failed);
  EXPECT_FALSE(fs::exists(At("tmp/update.xml")));
  EXPECT_FALSE(updater.ReadManifestNotes(notes, error));
  EXPECT_EQ(error, "加载文件update.xml异常");
  m_lab->ClearFaults("update");

  // No "Version", and an empty one, even when the installed version is empty too.
  Write("conf/update_process.properties", "new_app_ver=\n");
  for (const char* body : {"<r><UpdateInfo/></r>", "<r><Version></Version></r>", "<r>"}) {
    SCOPED_TRACE(body);
    Write("served/update.xml", body);
    failed = false;
    EXPECT_FALSE(updater.IsAppUpToDate(&failed));
    EXPECT_TRUE(failed);
  }

  // A body cut short.
  Write("served/update.xml", kManifest);
  m_lab->SetFault("update", "/update.xml", "close=40");
  EXPECT_FALSE(updater.FetchManifestVersion(version));
  EXPECT_EQ(version, "");
  m_lab->ClearFaults("update");

  // A dead server.
  Configure("http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/", "update.xml");
  EXPECT_FALSE(updater.IsAppUpToDate(&failed));
  EXPECT_TRUE(failed);
}

TEST_F(ManualCheck, StalledOrHugeManifestsEndWithinTheBound) {
  CUpdater updater;
  std::string version;
  SetManifestFetchBounds(
      {4 * 1024 * 1024, std::chrono::milliseconds(1500), std::chrono::milliseconds(100)});
  for (const char* fault : {"stallhead", "stall=20"}) {
    SCOPED_TRACE(fault);
    m_lab->SetFault("update", "/update.xml", fault);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(updater.FetchManifestVersion(version));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1400));
    EXPECT_LT(took, std::chrono::seconds(5));
  }
  m_lab->ClearFaults("update");
  SetManifestFetchBounds({100, std::chrono::milliseconds(5000), std::chrono::milliseconds(100)});
  EXPECT_FALSE(updater.FetchManifestVersion(version));
  m_lab->SetFault("update", "/update.xml", "nolength");
  EXPECT_FALSE(updater.FetchManifestVersion(version));
  SetManifestFetchBounds(m_bounds);
  EXPECT_TRUE(updater.FetchManifestVersion(version));  // no length is fine within the bound
  EXPECT_EQ(version, "1.0.1");
}

TEST_F(ManualCheck, OddSettingsAreRefusedWithoutARequest) {
  CUpdater updater;
  std::string version;
  const std::string base = m_lab->Url("update", "/");
  Configure(base, "up date.xml");
  EXPECT_FALSE(updater.FetchManifestVersion(version));
  Configure(base, "sub/");
  EXPECT_FALSE(updater.FetchManifestVersion(version));
  Configure(base + "\x01", "update.xml");
  EXPECT_FALSE(updater.FetchManifestVersion(version));
  EXPECT_TRUE(m_lab->Requests("update").empty());
  // The copy's name comes from the URL's last segment ("\\" counts as "/"): it stays in "tmp".
  Write("served/escaped.xml", kManifest);
  Configure(base, "x/..\\..\\escaped.xml");
  EXPECT_TRUE(updater.FetchManifestVersion(version));
  EXPECT_TRUE(fs::exists(At("tmp/escaped.xml")));
  EXPECT_FALSE(fs::exists(At("escaped.xml")));

  // Keys found anywhere on a line; a backslash path becomes a URL path.
  fs::create_directories(At("served/rel"));
  Write("served/rel/update.xml", kManifest);
  Write("conf/config.properties",
        "#update_server_path=" + base + "\nupdate_ver_file_name=rel\\update.xml\n");
  EXPECT_TRUE(updater.FetchManifestVersion(version));
  EXPECT_EQ(version, "1.0.1");
}

TEST_F(ManualCheck, SignedManifestsCountOnlyWhenTheSignatureHolds) {
  int status = 0;
  std::string out = CommandOutput(
      "cd " + At("") +
          " && openssl genpkey -algorithm ed25519 -out key.pem 2>&1"
          " && openssl pkey -in key.pem -pubout -outform DER -out pub.der 2>&1"
          " && openssl pkeyutl -sign -inkey key.pem -rawin -in served/update.xml -out sig.bin 2>&1"
          " && od -An -v -tx1 sig.bin | tr -d ' \\n' > served/update.xml.sig",
      &status);
  ASSERT_EQ(status, 0) << out;
  const std::string key =
      CommandOutput("tail -c 32 " + At("pub.der") + " | od -An -v -tx1 | tr -d ' \\n'");
  const std::string base = m_lab->Url("update", "/");
  Configure(base, "update.xml", "update_public_key=" + key + "\n");

  CUpdater updater;
  std::string version;
  EXPECT_TRUE(updater.FetchManifestVersion(version));
  EXPECT_EQ(version, "1.0.1");

  // One byte changed on the server: refused, and no copy is kept.
  std::string tampered = kManifest;
  tampered[tampered.find("1.0.1")] = '9';
  Write("served/update.xml", tampered);
  EXPECT_FALSE(updater.FetchManifestVersion(version));
  EXPECT_FALSE(fs::exists(At("tmp/update.xml")));
  // No signature at all.
  Write("served/update.xml", kManifest);
  fs::remove(At("served/update.xml.sig"));
  EXPECT_FALSE(updater.FetchManifestVersion(version));
  // A broken key refuses rather than accepting unsigned releases.
  Configure(base, "update.xml", "update_public_key=abc\n");
  EXPECT_FALSE(updater.FetchManifestVersion(version));
}

TEST_F(ManualCheck, DeleteFolderTreeFollowsNoLink) {
  fs::create_directories(At("outside/inner"));
  Write("outside/keep.txt", "keep");
  Write("outside/inner/keep2.txt", "keep");
  fs::create_directories(At("tmp/a/b/c"));
  Write("tmp/a/b/c/f", "x");
  Write("tmp/g", "y");
  fs::create_directory_symlink(At("outside"), At("tmp/a/linkdir"));
  fs::create_symlink(At("outside/keep.txt"), At("tmp/linkfile"));
  fs::create_symlink(At("nowhere"), At("tmp/dangling"));

  EXPECT_TRUE(DeleteFolderTree("tmp"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(At("tmp"))));
  EXPECT_EQ(Read("outside/keep.txt"), "keep");
  EXPECT_EQ(Read("outside/inner/keep2.txt"), "keep");

  // A link given as the folder is removed itself; a missing folder is fine; a file is no folder.
  fs::create_directory_symlink(At("outside"), At("tmplink"));
  EXPECT_TRUE(DeleteFolderTree("tmplink"));
  EXPECT_TRUE(fs::exists(At("outside/keep.txt")));
  EXPECT_TRUE(DeleteFolderTree("missing"));
  EXPECT_FALSE(DeleteFolderTree("outside/keep.txt"));
  EXPECT_TRUE(fs::exists(At("outside/keep.txt")));
}

TEST_F(ManualCheck, MakeDirsForPathCreatesLeadingFolders) {
  EXPECT_TRUE(MakeDirsForPath("a/b\\c/file.txt"));
  EXPECT_TRUE(fs::is_directory(At("a/b/c")));
  EXPECT_FALSE(fs::exists(At("a/b/c/file.txt")));
  EXPECT_TRUE(MakeDirsForPath("a/b/c/file.txt"));  // existing folders are fine
  EXPECT_TRUE(MakeDirsForPath("plain"));
  Write("a/blocker", "");
  EXPECT_FALSE(MakeDirsForPath("a/blocker/x/f"));
  EXPECT_TRUE(MakeDirsForPath(At("abs//x/f")));
  EXPECT_TRUE(fs::is_directory(At("abs/x")));
}

TEST_F(ManualCheck, StartedUpdaterGetsItsWordsAndLeavesNoZombie) {
  testsupport::CopyFile(STAND_IN_PROGRAM, At("Update"));
  chmod(At("Update").c_str(), 0755);

  pid_t interactive = StartUpdater("");
  ASSERT_GT(interactive, 0);
  ASSERT_TRUE(WaitFor([&] { return Read("Update.started").size() > 0; }));
  EXPECT_EQ(Read("Update.started"), std::to_string(interactive) + "\n");
  EXPECT_EQ(FindProcessByName("Update.exe"), interactive);
  EXPECT_TRUE(IsProcessRunning("UPDATE"));
  EXPECT_TRUE(IsOurProcess(interactive, "Update"));
  EXPECT_FALSE(IsOurProcess(interactive, "Kestrane"));
  // A session of its own: it outlives the terminal that started Kestrane.
  EXPECT_EQ(getsid(interactive), interactive);
  EXPECT_EQ(KillProcessByName("Update.exe"), 1);
  EXPECT_TRUE(WaitFor([&] { return State(interactive) == 0; }));
  EXPECT_EQ(KillProcessByName("Update.exe"), 0);

  Write("Update.exit", "");
  pid_t background = StartUpdater("update");
  ASSERT_GT(background, 0);
  ASSERT_TRUE(
      WaitFor([&] { return Read("Update.started").find(" update\n") != std::string::npos; }));
  // It ended at once; the background reaper leaves no zombie.
  EXPECT_TRUE(WaitFor([&] { return State(background) == 0; }));

  fs::remove(At("Update"));
  EXPECT_EQ(StartUpdater("update"), 0);
}

TEST_F(ManualCheck, SameNamedProgramsElsewhereAreNotOurs) {
  fs::create_directories(At("elsewhere"));
  testsupport::CopyFile(STAND_IN_PROGRAM, At("elsewhere/Update"));
  chmod(At("elsewhere/Update").c_str(), 0755);
  pid_t other = fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    if (chdir(At("elsewhere").c_str()) == 0) execl("./Update", "./Update", "update", nullptr);
    _exit(127);
  }
  ASSERT_TRUE(WaitFor([&] { return fs::exists(At("elsewhere/Update.started")); }));
  EXPECT_EQ(FindProcessByName("Update"), 0);
  EXPECT_FALSE(IsProcessRunning("Update"));
  EXPECT_FALSE(IsOurProcess(other, "Update"));
  EXPECT_EQ(KillProcessByName("Update"), 0);
  EXPECT_EQ(State(other), 'S');
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);
}

}  // namespace
