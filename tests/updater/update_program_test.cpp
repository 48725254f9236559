// The real Update program in a temporary program folder, against the lab's update role, with
// a stand-in Kestrane that records its words and pid in "Kestrane.started".
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/properties_file.h"
#include "lab_fixture.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/registry.h"
#include "test_support.h"
#include "update_client/update_process.h"

namespace {

using namespace std::chrono_literals;

bool Alive(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return false;
  auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

// "<pid> <words>" lines of the stand-in.
std::vector<std::pair<pid_t, std::string>> Starts(const std::string& file) {
  std::vector<std::pair<pid_t, std::string>> out;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    auto sp = line.find(' ');
    out.emplace_back(std::atoi(line.substr(0, sp).c_str()),
                     sp == std::string::npos ? "" : line.substr(sp + 1));
  }
  return out;
}

class UpdateProgramTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    setenv("KESTRANE_UPDATE_TIME_DIVISOR", "1000", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("KESTRANE_UPDATE_KILL_AFTER_RENAME");
    CopyFromDist("Update");
    for (const char* f : {"conf/config.properties", "conf/update_process.properties",
                          "conf/registry/HKEY_LOCAL_MACHINE.ini", "Image/common/update_prog.png",
                          "Image/common/score_msg.png", "Image/common/logo2.png"})
      CopyFromDist(f);
    std::filesystem::create_directories(At("server"));
    std::filesystem::create_directories(At("release"));
    lab = std::make_unique<LabProcess>(
        std::vector<std::string>{"--update", "--update-root=" + At("server")});
    ASSERT_TRUE(lab->Started()) << lab->Error();
    SetKey("conf/config.properties", "update_server_path", lab->Url("update", "/"));
    SetKey("conf/config.properties", "update_ver_file_name", "update.xml");
    testsupport::CopyFile(STAND_IN_PROGRAM, At("Kestrane"));
  }

  void TearDown() override {
    for (int i = 0; i < 10 && KillProcessByName("Kestrane") == 1; ++i) {
    }
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    lab.reset();
    umount2(At("disk").c_str(), MNT_DETACH);  // left mounted by a failed full-disk case
    ProgramFolderTest::TearDown();
  }

  static void SetKey(const std::string& file, const std::string& key, const std::string& value) {
    PropertiesFile p(file);
    p.Load();
    if (!p.Set(key, value)) p.Add(key, value);
    p.Save(false);
  }

  // A file of the new release, in "release/".
  void Release(const std::string& localPath, const std::string& bytes) {
    Write("release/" + localPath, bytes);
    m_released.push_back(localPath);
  }

  // Publishes the files given to Release as `version` over 1.0.0, with the lab's own tool.
  void Publish(const std::string& version, const std::string& extra = "") {
    int status = 0;
    std::string cmd = testsupport::SourcePath("lab/publish-update") + " '" + At("server") + "' " +
                      version + " --base 1.0.0 --from '" + At("release") + "' " + extra;
    for (const auto& f : m_released) cmd += " '" + f + "'";
    std::string out = testsupport::CommandOutput(cmd + " 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    m_publishOutput = out;
    m_released.clear();
  }

  int RunUpdate(const std::vector<std::string>& words, int timeoutMs = 120000) {
    return platform::RunProcess(At("Update"), words, timeoutMs);
  }

  pid_t StartKestrane() {
    platform::SpawnOptions options;
    options.workingFolder = m_folder;
    pid_t pid = platform::SpawnProcess(At("Kestrane"), {"x"}, options);
    EXPECT_GT(pid, 0);
    EXPECT_TRUE(testsupport::WaitFor([&] { return FindProcessByName("Kestrane") == pid; }));
    return pid;
  }

  std::string NewAppVer() { return conf::Read(conf::kUpdateProcess, "new_app_ver"); }

  std::string DisplayVersion() {
    platform::registry::Key key;
    if (!key.Open(platform::registry::Hive::LocalMachine,
                  "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrane"))
      return "<no key>";
    return key.GetString("DisplayVersion").value_or("<none>");
  }

  unsigned ModeOf(const std::string& relative) {
    struct stat st {};
    return stat(At(relative).c_str(), &st) == 0 ? (st.st_mode & 07777u) : 0;
  }

  // A runnable new Kestrane: the stand-in with a few bytes after it.
  std::string NewKestrane(const std::string& tag) { return Read("Kestrane") + tag; }

  std::unique_ptr<LabProcess> lab;
  std::vector<std::string> m_released;
  std::string m_publishOutput;
};

TEST_F(UpdateProgramTest, InstallStopsKestraneAfterTheCountdownAndStartsTheNewOne) {
  Write("help.txt", "old help");
  chmod(At("help.txt").c_str(), 0600);
  const std::string kestrane = NewKestrane("release 1.0.1");
  Release("Kestrane", kestrane);
  Release("help.txt", "new help");
  Release("tools/run.sh", "#!/bin/sh\nexit 0\n");
  Release("conf/extra.properties", "a=b\n");
  Publish("1.0.1");

  // The same program elsewhere is none of ours.
  std::filesystem::create_directories(At("other"));
  testsupport::CopyFile(STAND_IN_PROGRAM, At("other/Kestrane"));
  platform::SpawnOptions there;
  there.workingFolder = At("other");
  const pid_t stranger = platform::SpawnProcess(At("other/Kestrane"), {}, there);
  const pid_t old = StartKestrane();

  EXPECT_EQ(RunUpdate({}), 0);
  EXPECT_FALSE(Alive(old));
  EXPECT_TRUE(Alive(stranger));
  kill(stranger, SIGKILL);
  EXPECT_EQ(Read("Kestrane"), kestrane);
  EXPECT_EQ(Read("help.txt"), "new help");
  EXPECT_EQ(Read("tools/run.sh"), "#!/bin/sh\nexit 0\n");
  EXPECT_EQ(Read("conf/extra.properties"), "a=b\n");
  EXPECT_EQ(ModeOf("Kestrane"), 0755u);
  EXPECT_EQ(ModeOf("help.txt"), 0600u);
  EXPECT_EQ(ModeOf("tools/run.sh"), 0755u);
  EXPECT_EQ(ModeOf("conf/extra.properties"), 0644u);
  EXPECT_EQ(NewAppVer(), "1.0.1");
  EXPECT_EQ(DisplayVersion(), "1.0.1");
  EXPECT_FALSE(testsupport::Exists(At("tmpUpdate")));
  EXPECT_FALSE(testsupport::Exists(At("update.journal")));

  // The new Kestrane runs, started with "update".
  ASSERT_TRUE(testsupport::WaitFor([&] { return Starts(At("Kestrane.started")).size() == 2; }));
  auto starts = Starts(At("Kestrane.started"));
  EXPECT_EQ(starts[1].second, "update");
  EXPECT_TRUE(Alive(starts[1].first));
  EXPECT_EQ(FindProcessByName("Kestrane"), starts[1].first);

  // Current now: the next run changes nothing and stops nobody.
  const auto before = lab->Stats("update").requests;
  EXPECT_EQ(RunUpdate({}), 0);
  EXPECT_TRUE(Alive(starts[1].first));
  EXPECT_EQ(lab->Stats("update").requests, before + 1) << "only the manifest";
  auto requests = lab->Requests("update");
  EXPECT_EQ(requests.back().requestLine, "GET /update.xml HTTP/1.1");
}

TEST_F(UpdateProgramTest, NotRunningKestraneIsNotStartedAndMissingVersionKeyIsAdded) {
  Release("a.txt", "new a");
  Publish("1.0.1");
  Write("conf/update_process.properties", "update_process_id=0\nupdate_app_ver=1.0.0\n");
  // Without the key the installed version reads "null", which no versionid carries: the
  // install runs with no file, and records the server's version.
  EXPECT_EQ(RunUpdate({}), 0);
  EXPECT_EQ(NewAppVer(), "1.0.1");
  EXPECT_FALSE(testsupport::Exists(At("a.txt")));
  EXPECT_FALSE(testsupport::Exists(At("Kestrane.started")));
  EXPECT_EQ(DisplayVersion(), "1.0.0") << "the main program was not replaced";

  // So a running Kestrane is left alone by the next pass.
  const pid_t running = StartKestrane();
  EXPECT_EQ(RunUpdate({}), 0);
  EXPECT_TRUE(Alive(running));
  EXPECT_EQ(Starts(At("Kestrane.started")).size(), 1u);
}

TEST_F(UpdateProgramTest, MissingUninstallKeyFailsTheInstallButKestraneRunsAgain) {
  // The display version cannot be stored: the version stays old (the next pass installs again)
  // and the Kestrane the pass stopped is started all the same.
  Write("conf/registry/HKEY_LOCAL_MACHINE.ini", "[Software\\Other]\r\nx=1\r\n");
  Release("Kestrane", NewKestrane("release 1.0.1"));
  Publish("1.0.1");
  const pid_t old = StartKestrane();
  EXPECT_EQ(RunUpdate({}), 0);
  EXPECT_FALSE(Alive(old));
  EXPECT_EQ(NewAppVer(), "1.0.0");
  ASSERT_TRUE(testsupport::WaitFor([&] { return Starts(At("Kestrane.started")).size() == 2; }));
  EXPECT_EQ(Starts(At("Kestrane.started"))[1].second, "update");
  EXPECT_EQ(DisplayVersion(), "<no key>");
}

TEST_F(UpdateProgramTest, LogoffRestartsKestraneWithTheWordAndOtherWordsExit) {
  const pid_t old = StartKestrane();
  EXPECT_EQ(RunUpdate({"nonsense"}), 0);
  EXPECT_TRUE(Alive(old));
  EXPECT_EQ(lab->Stats("update").requests, 0);

  EXPECT_EQ(RunUpdate({"logoff"}), 0);
  EXPECT_FALSE(Alive(old));
  ASSERT_TRUE(testsupport::WaitFor([&] { return Starts(At("Kestrane.started")).size() == 2; }));
  EXPECT_EQ(Starts(At("Kestrane.started"))[1].second, "logoff");
  EXPECT_EQ(lab->Stats("update").requests, 0);
}

TEST_F(UpdateProgramTest, BadInputInstallsNothingAndLeavesKestraneRunning) {
  Write("a.txt", "old a");
  Release("a.txt", "new a");
  Release("Kestrane", NewKestrane("new"));
  Publish("1.0.1");
  const std::string manifest = Read("server/update.xml");
  const pid_t running = StartKestrane();
  const std::string oldKestrane = Read("Kestrane");

  struct Case {
    const char* name;
    std::function<void()> arrange;
  } cases[] = {
      {"manifest 404", [&] { lab->SetFault("update", "/update.xml", "404"); }},
      {"file 404", [&] { lab->SetFault("update", "/1.0.1/a.txt", "404"); }},
      {"file cut", [&] { lab->SetFault("update", "/1.0.1/Kestrane", "close=100"); }},
      {"file stalled", [&] { lab->SetFault("update", "/1.0.1/Kestrane", "stall=100"); }},
      {"no length", [&] { lab->SetFault("update", "/1.0.1/a.txt", "nolength"); }},
      {"manifest cut", [&] { lab->SetFault("update", "/update.xml", "close=300"); }},
      {"truncated manifest",
       [&] { Write("server/update.xml", manifest.substr(0, manifest.size() / 2)); }},
      {"malformed manifest",
       [&] { Write("server/update.xml", "<update><Version>1.0.1</Version><versions"); }},
      {"bad digest",
       [&] {
         std::string m = manifest;
         auto at = m.find("verify=\"") + 8;
         m[at] = m[at] == '0' ? '1' : '0';
         Write("server/update.xml", m);
       }},
      {"escaping entry",
       [&] {
         std::string m = manifest;
         auto at = m.find("localpath=\"a.txt\"");
         m.replace(at, 17, "localpath=\"..\\a.txt\"");
         Write("server/update.xml", m);
       }},
      {"absolute entry",
       [&] {
         std::string m = manifest;
         m.replace(m.find("localpath=\"a.txt\""), 17, "localpath=\"/tmp/a.txt\"");
         Write("server/update.xml", m);
       }},
      {"dead server",
       [&] {
         SetKey("conf/config.properties", "update_server_path",
                "http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/");
       }},
  };
  const std::string goodBase = lab->Url("update", "/");
  for (const auto& c : cases) {
    lab->ClearFaults("update");
    Write("server/update.xml", manifest);
    SetKey("conf/config.properties", "update_server_path", goodBase);
    c.arrange();
    EXPECT_EQ(RunUpdate({}), 0) << c.name;
    EXPECT_EQ(Read("a.txt"), "old a") << c.name;
    EXPECT_EQ(Read("Kestrane"), oldKestrane) << c.name;
    EXPECT_FALSE(testsupport::Exists(At("../a.txt"))) << c.name;
    EXPECT_EQ(NewAppVer(), "1.0.0") << c.name;
    EXPECT_TRUE(Alive(running)) << c.name;
    EXPECT_EQ(Starts(At("Kestrane.started")).size(), 1u) << c.name;
  }
  EXPECT_FALSE(testsupport::Exists("/tmp/a.txt") && Read("/tmp/a.txt") == "new a");

  // The next pass with everything in order installs.
  lab->ClearFaults("update");
  Write("server/update.xml", manifest);
  SetKey("conf/config.properties", "update_server_path", goodBase);
  EXPECT_EQ(RunUpdate({}), 0);
  EXPECT_EQ(Read("a.txt"), "new a");
  EXPECT_EQ(NewAppVer(), "1.0.1");
}

TEST_F(UpdateProgramTest, SignedManifestCountsOnlyWithAValidSignature) {
  Release("a.txt", "new a");
  const std::string key = At("release.pem");
  ASSERT_EQ(std::system(("'" + testsupport::SourcePath("lab/publish-update") + "' --new-key '" +
                         key + "' >/dev/null 2>&1")
                            .c_str()),
            0);
  Publish("1.0.1", "--key '" + key + "'");
  auto line = m_publishOutput.find("update_public_key=");
  ASSERT_NE(line, std::string::npos) << m_publishOutput;
  const std::string publicKey = m_publishOutput.substr(line + 18, 64);
  SetKey("conf/config.properties", "update_public_key", publicKey);

  const std::string manifest = Read("server/update.xml");
  std::string flipped = manifest;
  flipped[flipped.find("new") == std::string::npos ? 60 : 60] ^= 1;
  Write("server/update.xml", flipped);
  EXPECT_EQ(RunUpdate({}), 0);
  EXPECT_EQ(NewAppVer(), "1.0.0") << "a byte changed after signing";
  Write("server/update.xml", manifest);
  std::filesystem::remove(At("server/update.xml.sig"));
  EXPECT_EQ(RunUpdate({}), 0);
  EXPECT_EQ(NewAppVer(), "1.0.0") << "no signature";
  EXPECT_FALSE(testsupport::Exists(At("a.txt")));

  ASSERT_EQ(std::system(("cd '" + At("server") + "' && openssl pkeyutl -sign -rawin -inkey '" +
                         key + "' -in update.xml | od -An -v -tx1 | tr -d ' \\n' > update.xml.sig")
                            .c_str()),
            0);
  EXPECT_EQ(RunUpdate({}), 0);
  EXPECT_EQ(NewAppVer(), "1.0.1");
  EXPECT_EQ(Read("a.txt"), "new a");
}

TEST_F(UpdateProgramTest, KilledAfterAnyRenameTheNextStartRestoresTheOldSet) {
  const char* names[] = {"Kestrane", "a.txt", "conf/b.properties", "lib/c.so", "d.dat"};
  std::map<std::string, std::string> oldSet;
  Write("a.txt", "old a");
  Write("conf/b.properties", "b=old\n");
  Write("lib/c.so", "old c");
  // d.dat is new in the release.
  oldSet["Kestrane"] = Read("Kestrane");
  for (const char* n : {"a.txt", "conf/b.properties", "lib/c.so"}) oldSet[n] = Read(n);
  Release("Kestrane", NewKestrane("new"));
  Release("a.txt", "new a");
  Release("conf/b.properties", "b=new\n");
  Release("lib/c.so", "new c");
  Release("d.dat", "new d");
  Publish("1.0.1");

  for (int n = 1; n <= 5; ++n) {
    const pid_t old = StartKestrane();
    setenv("KESTRANE_UPDATE_KILL_AFTER_RENAME", std::to_string(n).c_str(), 1);
    EXPECT_EQ(RunUpdate({}), -1) << "killed after rename " << n;
    unsetenv("KESTRANE_UPDATE_KILL_AFTER_RENAME");
    EXPECT_FALSE(Alive(old));
    EXPECT_TRUE(testsupport::Exists(At("update.journal"))) << n;
    // The next start (here a pass whose manifest is missing) puts the old set back first.
    lab->SetFault("update", "/update.xml", "404");
    EXPECT_EQ(RunUpdate({}), 0);
    lab->ClearFaults("update");
    for (const char* name : names) {
      if (oldSet.count(name))
        EXPECT_EQ(Read(name), oldSet[name]) << name << " after rename " << n;
      else
        EXPECT_FALSE(testsupport::Exists(At(name))) << name << " after rename " << n;
    }
    EXPECT_FALSE(testsupport::Exists(At("update.journal")));
    EXPECT_EQ(NewAppVer(), "1.0.0");
    // The Kestrane the cut-off install had stopped runs again: the old one.
    ASSERT_TRUE(testsupport::WaitFor([&] { return Starts(At("Kestrane.started")).size() == 2; }))
        << n;
    const pid_t again = Starts(At("Kestrane.started")).back().first;
    EXPECT_EQ(Starts(At("Kestrane.started")).back().second, "update");
    EXPECT_EQ(FindProcessByName("Kestrane"), again);
    EXPECT_EQ(testsupport::ReadFile("/proc/" + std::to_string(again) + "/exe"), oldSet["Kestrane"]);
    kill(again, SIGKILL);
    ASSERT_TRUE(testsupport::WaitFor([&] { return !Alive(again); }));
    std::filesystem::remove(At("Kestrane.started"));
  }
  // Then a whole install.
  EXPECT_EQ(RunUpdate({}), 0);
  EXPECT_EQ(Read("d.dat"), "new d");
  EXPECT_EQ(NewAppVer(), "1.0.1");
}

// A disk that fills up while the release comes in, or while it is written beside the old
// files: nothing is installed, and a Kestrane the pass stopped runs again.
TEST_F(UpdateProgramTest, FullDiskInstallsNothing) {
  const std::string disk = At("disk");
  std::filesystem::create_directories(disk);
  std::vector<std::string> copied = {"Update", "Kestrane", "conf/config.properties",
                                     "conf/update_process.properties",
                                     "conf/registry/HKEY_LOCAL_MACHINE.ini"};
  uintmax_t used = 0;
  for (const auto& f : copied) used += std::filesystem::file_size(At(f)) + 8192;
  struct Case {
    const char* name;
    uintmax_t spare;
    size_t fileSize;
    bool kestraneRuns;
  } cases[] = {
      {"while downloading", 512 << 10, 2 << 20, false},
      {"while writing beside the old file", (3 << 20) / 2, 1 << 20, true},
  };
  int round = 0;
  for (const auto& c : cases) {
    const std::string size = std::to_string((used + c.spare + (256 << 10)) / 1024) + "k";
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0)
      GTEST_SKIP() << "no tmpfs mount here: " << std::strerror(errno);
    for (const auto& f : copied) {
      std::filesystem::create_directories(std::filesystem::path(disk + "/" + f).parent_path());
      std::filesystem::copy_file(At(f), disk + "/" + f,
                                 std::filesystem::copy_options::overwrite_existing);
    }
    testsupport::WriteFile(disk + "/big.dat", "old");
    Release("big.dat", std::string(c.fileSize, 'n'));
    std::filesystem::remove_all(At("server"));
    Publish("1.0." + std::to_string(++round));

    pid_t running = 0;
    if (c.kestraneRuns) {
      platform::SpawnOptions options;
      options.workingFolder = disk;
      running = platform::SpawnProcess(disk + "/Kestrane", {"x"}, options);
      ASSERT_TRUE(
          testsupport::WaitFor([&] { return Starts(disk + "/Kestrane.started").size() == 1; }));
    }
    EXPECT_EQ(platform::RunProcess(disk + "/Update", {}, 120000), 0) << c.name;
    EXPECT_EQ(testsupport::ReadFile(disk + "/big.dat"), "old") << c.name;
    EXPECT_FALSE(testsupport::Exists(disk + "/big.dat.update-new")) << c.name;
    EXPECT_FALSE(testsupport::Exists(disk + "/update.journal")) << c.name;
    PropertiesFile state(disk + "/conf/update_process.properties");
    state.Load();
    EXPECT_EQ(state.Get("new_app_ver"), "1.0.0") << c.name;
    std::vector<pid_t> started;
    if (c.kestraneRuns) {
      EXPECT_FALSE(Alive(running)) << "stopped for the install";
      EXPECT_TRUE(testsupport::WaitFor([&] {
        return Starts(disk + "/Kestrane.started").size() == 2;
      })) << c.name;
      auto starts = Starts(disk + "/Kestrane.started");
      if (starts.size() == 2) EXPECT_EQ(starts[1].second, "update") << "and started again";
      for (const auto& s : starts) kill(s.first, SIGKILL);
      for (const auto& s : starts) testsupport::WaitFor([&] { return !Alive(s.first); });
      waitpid(running, nullptr, 0);
    }
    umount2(disk.c_str(), MNT_DETACH);
  }
}

TEST_F(UpdateProgramTest, BackgroundModeInstallsOnItsOwnAndSkipsWhileAnotherPassRuns) {
  Release("a.txt", "new a");
  Publish("1.0.1");
  pid_t update = 0;
  {
    // Another pass holds the staging folder.
    FileLock busy("tmpUpdate.lock", 0ms);
    ASSERT_TRUE(busy.Held());
    update = platform::SpawnProcess(At("Update"), {"update-now"});
    ASSERT_GT(update, 0);
    ASSERT_TRUE(testsupport::WaitFor(
        [&] {
          auto log = platform::FilesIn(At("log"));
          for (const auto& f : log)
            if (Read("log/" + f).find("another pass runs; skipped") != std::string::npos)
              return true;
          return false;
        },
        20s));
    EXPECT_EQ(NewAppVer(), "1.0.0");
  }
  EXPECT_TRUE(testsupport::WaitFor([&] { return NewAppVer() == "1.0.1"; }, 30s));
  EXPECT_EQ(Read("a.txt"), "new a");
  EXPECT_TRUE(Alive(update)) << "the loop goes on";
  kill(update, SIGKILL);
  platform::WaitProcess(update, 5000);
}

}  // namespace
