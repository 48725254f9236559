#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/properties_file.h"
#include "lab_fixture.h"
#include "platform/program_folder.h"
#include "test_support.h"
#include "updater/http_get_to_file.h"
#include "updater/install.h"
#include "updater/update_job.h"
#include "updater/update_program.h"

namespace {

using updater::HttpGetToFile;

updater::UpdateTiming Quick() {
  updater::UpdateTiming t;
  t.receiveTimeoutMs = 500;
  t.transferBaseMs = 3000;
  t.msPer64KiB = 100;
  return t;
}

class UpdateDownloadTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    std::filesystem::create_directories(At("root/d"));
    Write("root/d/f.bin", std::string(100000, 'x') + "end");
    lab = std::make_unique<LabProcess>(
        std::vector<std::string>{"--update", "--update-root=" + At("root")});
    ASSERT_TRUE(lab->Started()) << lab->Error();
  }
  std::unique_ptr<LabProcess> lab;
};

TEST_F(UpdateDownloadTest, SendsTheExactRequestAndWritesTheWholeBody) {
  const std::string url = lab->Url("update", "/d/f.bin");
  ASSERT_TRUE(HttpGetToFile(url, "tmp/sub/f.bin", 1 << 20, Quick()));
  EXPECT_EQ(Read("tmp/sub/f.bin"), Read("root/d/f.bin"));
  auto requests = lab->Requests("update");
  ASSERT_EQ(requests.size(), 1u);
  // The Host header carries no port.
  EXPECT_EQ(requests[0].head,
            "GET /d/f.bin HTTP/1.1\r\nAccept: */*\r\nConnection: Keep-Alive\r\nHost: 127.0.0.1\r\n"
            "Cache-Control: no-cache\r\nPragma: no-cache\r\n\r\n");
}

TEST_F(UpdateDownloadTest, EveryBadAnswerFailsAndLeavesNoFile) {
  const std::string url = lab->Url("update", "/d/f.bin");
  const struct {
    const char* fault;
    const char* why;
  } faults[] = {
      {"404", "not found"},      {"status=500", "server error"}, {"status=302", "redirect"},
      {"nolength", "no length"}, {"close=5000", "cut body"},     {"stall=5000", "stalled body"},
      {"stallhead", "no head"},
  };
  for (const auto& f : faults) {
    ASSERT_TRUE(lab->SetFault("update", "/d/f.bin", f.fault));
    Write("tmp/f.bin", "old");
    EXPECT_FALSE(HttpGetToFile(url, "tmp/f.bin", 1 << 20, Quick())) << f.why;
    EXPECT_FALSE(testsupport::Exists(At("tmp/f.bin"))) << f.why;
  }
  lab->ClearFaults("update");
  EXPECT_FALSE(HttpGetToFile(url, "tmp/f.bin", 1000, Quick())) << "longer than allowed";
  EXPECT_FALSE(HttpGetToFile(lab->Url("update", "/d/none"), "tmp/f.bin", 1 << 20, Quick()));
  Write("root/d/empty", "");
  EXPECT_FALSE(HttpGetToFile(lab->Url("update", "/d/empty"), "tmp/f.bin", 1 << 20, Quick()));
  // Dead server, no path after the host, blanks and control characters.
  EXPECT_FALSE(HttpGetToFile("http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/x",
                             "tmp/f.bin", 1 << 20, Quick()));
  for (std::string bad :
       {"http://127.0.0.1", "127.0.0.1/x", "http://127.0.0.1:0/x", "http://127.0.0.1:99999/x",
        "http://127.0.0.1/a b", "http://127.0.0.1/a\r\nX: y"}) {
    EXPECT_FALSE(HttpGetToFile(bad, "tmp/f.bin", 1 << 20, Quick())) << bad;
  }
  EXPECT_EQ(lab->Stats("update").requests, 7 + 3) << "refused addresses are never requested";
}

// The file list of a process is kept across passes: an entry that failed is fetched again
// by the next pass even when the manifest no longer lists it for the installed version.
TEST_F(UpdateDownloadTest, FileListIsKeptAcrossPasses) {
  CopyFromDist("conf/config.properties");
  Write("conf/update_process.properties", "new_app_ver=1.0.0\n");
  {
    PropertiesFile config("conf/config.properties");
    config.Load();
    config.Set("update_server_path", lab->Url("update", "/"));
    config.Set("update_ver_file_name", "update.xml");
    config.Save(false);
  }
  Write("root/a.txt", "new a");
  Write("root/b.txt", "new b");
  const std::string digestA =
      testsupport::CommandOutput("md5sum < '" + At("root/a.txt") + "' | cut -c1-32");
  const std::string digestB =
      testsupport::CommandOutput("md5sum < '" + At("root/b.txt") + "' | cut -c1-32");
  auto manifest = [&](const std::string& version, const std::string& files) {
    Write("root/update.xml",
          "<u><Version>" + version +
              "</Version><versions><versionid id=\"1\">1.0.0</versionid></versions>"
              "<versions><versionid id=\"2\">1.0.1</versionid>" +
              files + "</versions><versions><versionid id=\"3\">1.0.2</versionid></versions></u>");
  };
  manifest("1.0.1", "<File id=\"2\" serpath=\"a.txt\" localpath=\"a.txt\" verify=\"" +
                        digestA.substr(0, 32) + "\" size=\"5\"/>");
  updater::UpdateJob job;
  job.timing = Quick();
  job.timing.killPauseMs = 1;
  lab->SetFault("update", "/a.txt", "404");
  EXPECT_FALSE(updater::CheckAndUpdate(job));
  ASSERT_EQ(job.files.size(), 1u);
  EXPECT_FALSE(testsupport::Exists(At("a.txt")));

  // The server moves on to 1.0.2 and lists b.txt only after the installed 1.0.0; a.txt stays
  // in the list and comes along.
  lab->ClearFaults("update");
  manifest("1.0.2", "<File id=\"2\" serpath=\"b.txt\" localpath=\"b.txt\" verify=\"" +
                        digestB.substr(0, 32) + "\" size=\"5\"/>");
  EXPECT_TRUE(updater::CheckAndUpdate(job));
  EXPECT_EQ(Read("a.txt"), "new a");
  EXPECT_EQ(Read("b.txt"), "new b");
  EXPECT_EQ(conf::Read(conf::kUpdateProcess, "new_app_ver"), "1.0.2");
  EXPECT_TRUE(updater::CheckAndUpdate(job)) << "current now";
}

TEST(UpdateModes, FirstWordSelectsTheMode) {
  using updater::Mode;
  EXPECT_EQ(updater::ModeFor({}), Mode::Interactive);
  EXPECT_EQ(updater::ModeFor({"update"}), Mode::Background);
  EXPECT_EQ(updater::ModeFor({"updateXYZ", "logoff"}), Mode::Background);
  EXPECT_EQ(updater::ModeFor({"logoff"}), Mode::Logoff);
  EXPECT_EQ(updater::ModeFor({"logoffnow"}), Mode::Logoff);
  EXPECT_EQ(updater::ModeFor({"updat"}), Mode::Exit);
  EXPECT_EQ(updater::ModeFor({"Update"}), Mode::Exit);
  EXPECT_EQ(updater::ModeFor({""}), Mode::Exit);
}

class UpdateInstallTest : public ProgramFolderTest {};

TEST_F(UpdateInstallTest, LocalPathsStayInsideTheFolder) {
  for (std::string ok :
       {"Kestrane", "conf/a.properties", "conf\\b.properties", "Image/common/x.png"})
    EXPECT_TRUE(updater::IsSafeLocalPath(ok)) << ok;
  for (std::string bad :
       {"", "/etc/passwd", "C:\\x", "c:x", "../x", "a/../../x", "a\\..\\..\\x", "a/..", "./x",
        "a//b", "a/", "tmpUpdate/x", "tmp/update.xml", "update.journal", "Kestrane.update-new",
        "x.update-old", "conf/update_process.lock"})
    EXPECT_FALSE(updater::IsSafeLocalPath(bad)) << bad;
  // A link inside the folder may be used; one that leads out may not.
  std::filesystem::create_directories(At("inner"));
  std::filesystem::create_directory_symlink(At("inner"), At("in"));
  std::filesystem::create_directory_symlink("/tmp", At("out"));
  std::filesystem::create_symlink("/etc/passwd", At("file_out"));
  EXPECT_TRUE(updater::IsSafeLocalPath("in/x"));
  EXPECT_FALSE(updater::IsSafeLocalPath("out/x"));
  EXPECT_FALSE(updater::IsSafeLocalPath("out\\x"));
  EXPECT_FALSE(updater::IsSafeLocalPath("file_out"));
}

struct FileState {
  std::string bytes;
  unsigned mode;
};

FileState StateOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {"<absent>", 0};
  return {testsupport::ReadFile(path), st.st_mode & 07777u};
}

TEST_F(UpdateInstallTest, PlacesTheWholeSetWithModesOrPutsTheOldOneBack) {
  Write("a.txt", "old a");
  chmod(At("a.txt").c_str(), 0600);
  Write("tmpUpdate/a.txt", "new a");
  Write("tmpUpdate/sub/tool", "#!/bin/sh\necho hi\n");
  Write("tmpUpdate/sub/data", "data");
  Write("tmpUpdate/prog", std::string("\x7f"
                                      "ELF",
                                      4) +
                              "rest");
  ASSERT_TRUE(updater::PlaceFiles({"a.txt", "sub/tool", "sub/data", "prog"}, false));
  EXPECT_EQ(StateOf(At("a.txt")).bytes, "new a");
  EXPECT_EQ(StateOf(At("a.txt")).mode, 0600u) << "a replaced file keeps its mode";
  EXPECT_EQ(StateOf(At("sub/tool")).mode, 0755u);
  EXPECT_EQ(StateOf(At("prog")).mode, 0755u);
  EXPECT_EQ(StateOf(At("sub/data")).mode, 0644u);
  EXPECT_FALSE(testsupport::Exists(At("update.journal")));
  EXPECT_FALSE(testsupport::Exists(At("a.txt.update-old")));
  EXPECT_FALSE(testsupport::Exists(At("a.txt.update-new")));

  // A target that cannot be replaced (a folder is in the way) after others were: all back.
  Write("tmpUpdate/a.txt", "newer a");
  Write("tmpUpdate/b.txt", "new b");
  Write("tmpUpdate/dir", "not a folder");
  std::filesystem::create_directories(At("dir/inside"));
  EXPECT_FALSE(updater::PlaceFiles({"a.txt", "b.txt", "dir"}, false));
  EXPECT_EQ(Read("a.txt"), "new a");
  EXPECT_FALSE(testsupport::Exists(At("b.txt")));
  EXPECT_TRUE(platform::IsFolder(At("dir/inside")));
  EXPECT_FALSE(testsupport::Exists(At("update.journal")));
  EXPECT_FALSE(testsupport::Exists(At("a.txt.update-new")));

  // A missing staged file stops it before anything changes.
  EXPECT_FALSE(updater::PlaceFiles({"a.txt", "missing"}, false));
  EXPECT_EQ(Read("a.txt"), "new a");
}

TEST_F(UpdateInstallTest, JournalFoundAtStartRestoresTheOldSet) {
  Write("a.txt", "old a");
  Write("b.txt", "old b");
  Write("tmpUpdate/a.txt", "new a");
  Write("tmpUpdate/b.txt", "new b");
  Write("tmpUpdate/c.txt", "new c");
  // Stopped after the second rename: a and b are new, c not yet there.
  struct Stop {};
  updater::InstallHooks hooks;
  hooks.afterRename = [](int n) {
    if (n == 2) throw Stop{};
  };
  EXPECT_THROW(updater::PlaceFiles({"a.txt", "b.txt", "c.txt"}, true, hooks), Stop);
  EXPECT_EQ(Read("a.txt"), "new a");
  ASSERT_TRUE(testsupport::Exists(At("update.journal")));
  bool restart = false;
  EXPECT_EQ(updater::RecoverInterruptedInstall(&restart), updater::Recovery::Restored);
  EXPECT_TRUE(restart);
  EXPECT_EQ(Read("a.txt"), "old a");
  EXPECT_EQ(Read("b.txt"), "old b");
  EXPECT_FALSE(testsupport::Exists(At("c.txt")));
  EXPECT_FALSE(testsupport::Exists(At("update.journal")));
  for (const char* left : {"a.txt.update-old", "b.txt.update-old", "c.txt.update-new"})
    EXPECT_FALSE(testsupport::Exists(At(left))) << left;
  EXPECT_EQ(updater::RecoverInterruptedInstall(&restart), updater::Recovery::None);

  // A journal that is not ours is left alone and nothing is touched.
  Write("update.journal", "file=1:../../etc/passwd\n");
  EXPECT_EQ(updater::RecoverInterruptedInstall(&restart), updater::Recovery::Failed);
  Write("update.journal", "state=install\nrestart=0\nfile=1:../../etc/passwd\n");
  EXPECT_EQ(updater::RecoverInterruptedInstall(&restart), updater::Recovery::Failed);
  EXPECT_TRUE(testsupport::Exists(At("update.journal")));
}

}  // namespace
