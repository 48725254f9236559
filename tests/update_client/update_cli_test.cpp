#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "core/properties_file.h"
#include "lab_fixture.h"
#include "test_support.h"
#include "update_client/update_process.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CommandOutput;

// kestrane-cli update [--check], run as a user would against the lab.
class UpdateCli : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("libUpdater.so");
    fs::create_directories(At("served/Update"));
    Write("served/update.xml",
          "<u><Version>1.0.1</Version><UpdateInfo><note>更快的测速</note><note>修正</note>"
          "</UpdateInfo></u>");
    m_lab = std::make_unique<LabProcess>(
        std::vector<std::string>{"--update", "--update-root=" + At("served")});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    Write("conf/config.properties",
          "#user config\nupdate_server_path=" + m_lab->Url("update", "/") +
              "\nupdater_exe_path=Update\\Update.exe\n"
              "updater_ini_path=Update\\updater.ini\n"
              "update_ver_file_name=update.xml\n");
    Write("conf/update_process.properties", "update_app_ver=1.0\nnew_app_ver=1.0.0\n");
  }
  void TearDown() override {
    while (KillProcessByName("Update") == 1) {
    }
    ProgramFolderTest::TearDown();
  }
  std::string Cli(const std::string& args, int* code) {
    int status = 0;
    std::string out = CommandOutput(
        testsupport::DistPath("kestrane-cli") + " --folder " + m_folder + " " + args + " 2>&1",
        &status);
    *code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
  }

  std::unique_ptr<LabProcess> m_lab;
};

TEST_F(UpdateCli, CheckPrintsVersionsAndNotes) {
  int code = -1;
  EXPECT_EQ(Cli("update --check", &code), "installed: 1.0.0\nserver: 1.0.1\n更快的测速\n修正\n");
  EXPECT_EQ(code, 0);

  Write("conf/update_process.properties", "new_app_ver=1.0.1\n");
  EXPECT_EQ(Cli("update --check", &code), "installed: 1.0.1\nserver: 1.0.1\n已经是最新版本！\n");
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(fs::exists(At("tmp")));

  m_lab->SetFault("update", "/update.xml", "404");
  EXPECT_EQ(Cli("update --check", &code), "无法与服务器通信,请检查网络！\n");
  EXPECT_EQ(code, 3);
}

TEST_F(UpdateCli, UpdateRunsTheStartUpPass) {
  testsupport::CopyFile(STAND_IN_PROGRAM, At("Update"));
  chmod(At("Update").c_str(), 0755);
  Write("served/Update/updater.ini", "[ver number]\r\nversion=1.0\r\n[md5 value]\r\nmd5=\r\n");
  int code = -1;
  std::string out = Cli("update", &code);
  EXPECT_EQ(code, 0);
  EXPECT_NE(out.find("当前版本号已是最新版本:[1.0]"), std::string::npos) << out;
  const std::string pid = conf::Read(conf::kUpdateProcess, "update_process_id");
  EXPECT_NE(out.find("update_process_id=" + pid + "\n"), std::string::npos) << out;
  // The background updater outlives the command.
  ASSERT_TRUE(testsupport::WaitFor([&] { return testsupport::Exists(At("Update.started")); }));
  EXPECT_TRUE(IsOurProcess(std::stoi(pid), "Update"));
}

}  // namespace
