// A manual bandwidth test from kestrane-cli, end to end: the record is packed, sent by PSFTP to
// the lab's sshd and the local folder is left clean.
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "platform/paths.h"
#include "core/properties_file.h"
#include "lab_fixture.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A loopback address of its own, so this can run beside other suites' test servers.
constexpr const char* kServerAddress = "127.0.9.5";

using testsupport::CommandOutput;

class UploadCliTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    m_lab = std::make_unique<LabProcess>(std::vector<std::string>{
        "--management", "--time", "--test", std::string("--test-addr=") + kServerAddress,
        "--test-port=8080", "--management-accounts=" + AccountsFile()});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    PrepareLabProgramFolder(m_folder, *m_lab, kServerAddress, {"PSFTP"});

    std::string started = CommandOutput(testsupport::SourcePath("lab/sftp/start-sshd") +
                                        " --account-into '" + m_folder + "' 2>&1");
    std::istringstream lines(started);
    for (std::string line; std::getline(lines, line);) {
      auto eq = line.find('=');
      if (eq != std::string::npos) m_server[line.substr(0, eq)] = line.substr(eq + 1);
    }
    ASSERT_FALSE(m_server["SSHD_COLLECT"].empty()) << started;
  }

  void TearDown() override {
    if (!m_server["SSHD_STATE"].empty())
      std::system((testsupport::SourcePath("lab/sftp/stop-sshd") + " '" + m_server["SSHD_STATE"] +
                   "' --clean")
                      .c_str());
    m_lab.reset();
    ProgramFolderTest::TearDown();
  }

  std::string AccountsFile() { return WriteBeijingTelecomAccounts(m_folder + "/tmp/accounts.json"); }

  int Cli(const std::string& args, std::string* out = nullptr) {
    const std::string outFile = m_folder + "/tmp/out";
    const std::string command = "timeout 300 '" + testsupport::DistPath("kestrane-cli") +
                                "' --folder '" + m_folder + "' " + args + " >'" + outFile +
                                "' 2>>'" + m_folder + "/tmp/err' </dev/null";
    const int raw = std::system(command.c_str());
    if (out) *out = testsupport::ReadFile(outFile);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  std::unique_ptr<LabProcess> m_lab;
  std::map<std::string, std::string> m_server;
};

}  // namespace

TEST_F(UploadCliTest, BandwidthRecordArrivesOnTheCollectionServer) {
  ASSERT_EQ(Cli("login --user bj --password bj123"), 0);
  // Gentle on a small machine: each download connection gets 1 MiB/s.
  ASSERT_TRUE(m_lab->SetFault("test", "/speed/50MB.rar", "rate=1048576"));
  std::string out;
  ASSERT_EQ(Cli("bandwidth --json --yes", &out), 0) << out;

  rapidjson::Document json;
  ASSERT_FALSE(json.Parse(out.c_str()).HasParseError()) << out << Read("tmp/err");
  const std::string record = json["record"].GetString();
  const std::string package = json["package"].GetString();
  EXPECT_TRUE(std::regex_match(package, std::regex(R"(\d{14}_1024_Pccollect_band_20001\.zip)")))
      << package;

  const std::string remote = paths::Join(m_server["SSHD_COLLECT"], package);
  ASSERT_TRUE(testsupport::Exists(remote)) << package;
  EXPECT_EQ(CommandOutput("unzip -Z1 '" + remote + "'"), record + "\n");
  EXPECT_EQ(CommandOutput("unzip -p '" + remote + "'").rfind("+++start+++\n", 0), 0u);

  for (const auto& e : fs::directory_iterator(At("Data")))
    EXPECT_NE(e.path().extension(), ".zip") << e.path();
  EXPECT_FALSE(testsupport::Exists(At("Data/sftpconfigure.ini")));
  EXPECT_FALSE(testsupport::Exists(At("Data/sftpresult.ini")));
  EXPECT_FALSE(testsupport::Exists(At("Data/" + record)));
}
