#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/properties_file.h"
#include "lab_fixture.h"
#include "test_support.h"
#include "update_client/update_manifest.h"
#include "update_client/update_process.h"
#include "update_client/updater.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandOutput;
using testsupport::WaitFor;

bool Alive(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return false;
  return line[line.rfind(')') + 2] != 'Z';
}

// A program folder with the stand-in as its Update, and the lab's update role serving a newer
// stand-in (its bytes differ by a tail) with the version file that names it.
class UpdateThread : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("libUpdater.so");
    m_old = testsupport::ReadFile(STAND_IN_PROGRAM);
    m_new = m_old + "new updater";
    Write("Update", m_old);
    chmod(At("Update").c_str(), 0755);
    fs::create_directories(At("served/Update"));
    Write("served/Update/Update.exe", m_new);
    m_lab = std::make_unique<LabProcess>(
        std::vector<std::string>{"--update", "--update-root=" + At("served")});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    Configure("");
    ServeVersionFile("2.0", FileMd5Hex(At("served/Update/Update.exe")));
    SetState("update_app_ver=1.0\n");
  }
  void TearDown() override {
    while (KillProcessByName("Update") == 1) {
    }
    ProgramFolderTest::TearDown();
  }

  void Configure(const std::string& extra) {
    Write("conf/config.properties",
          "#user config\nupdate_server_path=" + m_lab->Url("update", "/") +
              "\nupdater_exe_path=Update\\Update.exe\n"
              "updater_ini_path=Update\\updater.ini\n"
              "update_ver_file_name=update.xml\n" +
              extra);
  }
  void ServeVersionFile(const std::string& version, const std::string& md5) {
    Write("served/Update/updater.ini",
          "[ver number]\r\nversion=" + version + "\r\n[md5 value]\r\nmd5=" + md5 + "\r\n");
  }
  void SetState(const std::string& lines) {
    Write("conf/update_process.properties",
          "#user config\n#Mon Dec 07 10:00:00 UTC 2026\n" + lines);
  }
  std::string State(const std::string& key) { return conf::Read(conf::kUpdateProcess, key); }
  std::string ThreadLog() { return LogOf("UpdateThread.log"); }
  std::string DebugLog() { return LogOf("debug.log"); }
  std::string LogOf(const std::string& suffix) {
    for (const auto& e : fs::directory_iterator(At("log"))) {
      std::string name = e.path().filename();
      if (name.size() == 10 + suffix.size() && name.compare(10, suffix.size(), suffix) == 0)
        return CommandOutput("iconv -f GBK -t UTF-8 " + e.path().string());
    }
    return "";
  }
  // Pids the stand-in Update recorded, with their words.
  std::vector<std::string> Starts() {
    std::vector<std::string> lines;
    std::ifstream in(At("Update.started"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Lines must appear in this order.
  static void ExpectInOrder(const std::string& log, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const auto& line : lines) {
      size_t found = log.find(line, at);
      EXPECT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
      if (found != std::string::npos) at = found + line.size();
    }
  }

  std::unique_ptr<LabProcess> m_lab;
  std::string m_old, m_new;
};

TEST_F(UpdateThread, FreshFolderStartsAndRecordsTheBackgroundUpdate) {
  ServeVersionFile("1.0", "");
  SetState("update_app_ver=1.0\n");  // no process id yet
  EXPECT_EQ(UpdateThreadProc(), 0);

  ASSERT_TRUE(WaitFor([&] { return Starts().size() == 1; }));
  const std::string pid = State("update_process_id");
  EXPECT_EQ(Starts()[0], pid + " update");
  EXPECT_TRUE(IsOurProcess(std::stoi(pid), "Update"));
  EXPECT_EQ(testsupport::ReadFile(At("Update")), m_old);
  ExpectInOrder(ThreadLog(),
                {"获取新的版本号和Update.exe文件的MD5校验码成功", "当前版本号已是最新版本:[1.0]"});
  ExpectInOrder(DebugLog(), {"开始下载版本信息文件", "下载版本信息文件成功", "下载版本信息文件结束",
                             "获取到的版本号:1.0", "当前版本号:[1.0]"});
}

TEST_F(UpdateThread, ALiveStoredUpdateStartsNone) {
  ServeVersionFile("1.0", "");
  UpdateThreadProc();
  ASSERT_TRUE(WaitFor([&] { return Starts().size() == 1; }));
  const std::string first = State("update_process_id");

  UpdateThreadProc();
  EXPECT_EQ(Starts().size(), 1u);
  EXPECT_EQ(State("update_process_id"), first);

  // The recorded one has ended: a new one starts and is recorded.
  kill(std::stoi(first), SIGKILL);
  ASSERT_TRUE(WaitFor([&] { return !Alive(std::stoi(first)); }));
  UpdateThreadProc();
  ASSERT_TRUE(WaitFor([&] { return Starts().size() == 2; }));
  const std::string second = State("update_process_id");
  EXPECT_NE(second, first);
  EXPECT_EQ(Starts()[1], second + " update");

  // A stored id of a live process that is no Update of ours is no updater.
  KillProcessByName("Update");
  SetState("update_app_ver=1.0\nupdate_process_id=" + std::to_string(getpid()) + "\n");
  UpdateThreadProc();
  ASSERT_TRUE(WaitFor([&] { return Starts().size() == 3; }));
  EXPECT_NE(State("update_process_id"), std::to_string(getpid()));
}

TEST_F(UpdateThread, NewUpdaterReplacesTheOldOneWhichIsStopped) {
  const pid_t old = StartUpdater("update");
  ASSERT_GT(old, 0);
  SetState("update_process_id=" + std::to_string(old) +
           "\nupdate_app_ver=1.0\nnew_app_ver=1.0.0\n");
  ASSERT_TRUE(WaitFor([&] { return Starts().size() == 1; }));

  UpdateThreadProc();
  EXPECT_FALSE(Alive(old));
  EXPECT_EQ(testsupport::ReadFile(At("Update")), m_new);
  EXPECT_EQ(fs::status(At("Update")).permissions() & fs::perms::all,
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                fs::perms::others_read | fs::perms::others_exec);
  EXPECT_EQ(testsupport::ReadFile(At("Update.d/Update")), m_new);  // the download stays
  EXPECT_EQ(State("update_app_ver"), "2.0");
  EXPECT_EQ(State("new_app_ver"), "1.0.0");
  // The new updater runs in the background now.
  ASSERT_TRUE(WaitFor([&] { return Starts().size() == 2; }));
  const std::string pid = State("update_process_id");
  EXPECT_EQ(Starts()[1], pid + " update");
  EXPECT_NE(pid, std::to_string(old));
  // Only the file beside the program changed: no temporary copies are left.
  for (const auto& e : fs::directory_iterator(At(""))) {
    const std::string name = e.path().filename();
    if (name.rfind("Update", 0) == 0) {
      EXPECT_TRUE(name == "Update" || name == "Update.d" || name == "Update.started") << name;
    }
  }

  ExpectInOrder(
      ThreadLog(),
      {"获取新的版本号和Update.exe文件的MD5校验码成功", "发现新版本,版本号是:[2.0],开始下载新版本",
       "开始下载新版本", "下载新版本成功", "Update.exe 未在后台运行 或 Kill Update.exe进程成功!"});
  ExpectInOrder(DebugLog(), {"开始Update.exe下载", "下载Update.exe成功", "Update.exe在后台运行中",
                             "杀死Update.exe成功", "移动下载文件Update.exe的位置完成"});

  // Next start: the same version, nothing downloaded again.
  UpdateThreadProc();
  ExpectInOrder(ThreadLog(), {"当前版本号已是最新版本:[2.0]"});
  EXPECT_EQ(Starts().size(), 2u);
}

TEST_F(UpdateThread, AnUncheckedOrFailedDownloadKeepsTheOldUpdater) {
  const pid_t old = StartUpdater("update");
  ASSERT_GT(old, 0);
  SetState("update_process_id=" + std::to_string(old) + "\nupdate_app_ver=1.0\n");
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* reason;
  };
  const std::string md5 = FileMd5Hex(At("served/Update/Update.exe"));
  std::vector<Case> cases = {
      {"no MD5", [&] { ServeVersionFile("2.0", ""); }, "下载新版本失败,失败原因:[没有MD5校验码]"},
      {"wrong MD5", [&] { ServeVersionFile("2.0", std::string(32, '0')); },
       "下载新版本失败,失败原因:[下载功能中MD5校验错误]"},
      {"no version file",
       [&] {
         ServeVersionFile("2.0", md5);
         m_lab->SetFault("update", "/Update/updater.ini", "404");
       },
       "获取新的版本号和Update.exe文件的MD5校验码失败失败原因:[下载功能中HTTP 404异常]"},
      {"updater cut short",
       [&] {
         m_lab->ClearFaults("update");
         m_lab->SetFault("update", "/Update/Update.exe", "close=1000");
       },
       "下载新版本失败,失败原因:"},
      {"blank in the updater's path",
       [&] {
         m_lab->ClearFaults("update");
         Write(
             "conf/config.properties",
             "update_server_path=" + m_lab->Url("update", "/") +
                 "\nupdater_exe_path=Update\\Update.exe \nupdater_ini_path=Update\\updater.ini\n");
       },
       "下载新版本失败,失败原因:[下载功能中检测路径出错]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(At("log"));
    fs::create_directory(At("log"));
    c.arrange();
    UpdateThreadProc();
    ExpectInOrder(ThreadLog(), {c.reason});
    EXPECT_EQ(testsupport::ReadFile(At("Update")), m_old);
    EXPECT_EQ(State("update_app_ver"), "1.0");
    EXPECT_TRUE(Alive(old));
    EXPECT_EQ(State("update_process_id"), std::to_string(old));
  }
  EXPECT_EQ(Starts().size(), 1u);
  for (const LabRequest& r : m_lab->Requests("update"))
    EXPECT_EQ(r.target.find(' '), std::string::npos);
}

TEST_F(UpdateThread, SignedVersionFilesCountOnlyWhenTheSignatureHolds) {
  int status = 0;
  std::string out =
      CommandOutput("cd " + At("") +
                        " && openssl genpkey -algorithm ed25519 -out key.pem 2>&1"
                        " && openssl pkey -in key.pem -pubout -outform DER -out pub.der 2>&1"
                        " && openssl pkeyutl -sign -inkey key.pem -rawin -in "
                        "served/Update/updater.ini -out s.bin 2>&1"
                        " && od -An -v -tx1 s.bin | tr -d ' \\n' > served/Update/updater.ini.sig",
                    &status);
  ASSERT_EQ(status, 0) << out;
  const std::string key =
      CommandOutput("tail -c 32 " + At("pub.der") + " | od -An -v -tx1 | tr -d ' \\n'");
  Configure("update_public_key=" + key + "\n");

  // The same version file with another digest: the signature no longer holds.
  std::string signedIni = testsupport::ReadFile(At("served/Update/updater.ini"));
  std::string forged = signedIni;
  forged[forged.find("md5=") + 4] ^= 0x01;
  Write("served/Update/updater.ini", forged);
  UpdateThreadProc();
  EXPECT_EQ(testsupport::ReadFile(At("Update")), m_old);
  EXPECT_EQ(State("update_app_ver"), "1.0");
  EXPECT_FALSE(fs::exists(At("updater.ini")));
  ExpectInOrder(
      ThreadLog(),
      {"获取新的版本号和Update.exe文件的MD5校验码失败失败原因:[版本信息文件签名校验失败]"});

  Write("served/Update/updater.ini", signedIni);
  UpdateThreadProc();
  EXPECT_EQ(testsupport::ReadFile(At("Update")), m_new);
  EXPECT_EQ(State("update_app_ver"), "2.0");
}

TEST_F(UpdateThread, WritersOfTheStateFileTakeTurns) {
  // Update holds the lock around its own read-change-save; the pass must not slip between.
  ServeVersionFile("1.0", "");
  std::thread pass;
  {
    FileLock lock(kUpdateStateLockFile);
    ASSERT_TRUE(lock.Held());
    PropertiesFile state(conf::kUpdateProcess);
    state.Load();
    pass = std::thread([] { UpdateThreadProc(); });
    // Long enough for a pass that ignored the lock to have recorded its updater.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_FALSE(fs::exists(At("Update.started")));
    state.Add("new_app_ver", "9.9");
    state.Save(false);
  }
  pass.join();
  EXPECT_EQ(State("new_app_ver"), "9.9");
  ASSERT_TRUE(WaitFor([&] { return Starts().size() == 1; }));
  EXPECT_EQ(Starts()[0], State("update_process_id") + " update");
}

}  // namespace
