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

#include "core/paths.h"
#include "core/properties_file.h"
#include "lab_fixture.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// A loopback address of its own, so this can run beside other suites' test servers.
constexpr const char* kServerAddress = "127.0.9.5";

std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
  }
  return text;
}

class UploadCliTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    m_lab = std::make_unique<LabProcess>(std::vector<std::string>{
        "--management", "--time", "--test", std::string("--test-addr=") + kServerAddress,
        "--test-port=8080", "--management-accounts=" + AccountsFile()});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    for (const char* f : {"conf/config.properties", "conf/l_c_config_01.properties",
                          "conf/ipconfig.properties", "DB/Geo_CN.db", "Config/operator_config.xml",
                          "Config/addr_server.xml", "libNetworkStatus.so", "PSFTP"})
      CopyFromDist(f);
    Write("Config\\dest_config.xml", std::string("<d><destip name=\"北京电信\" value=\"") +
                                         kServerAddress + ":1101:1\"/></d>");
    Write("TestFile\\up.rar", std::string(1 << 20, 'u'));
    PropertiesFile config(At("conf/config.properties"));
    config.Load();
    config.Set("update_server_url", EncodeStoredValue("127.0.0.1"));
    config.Set("web_project_port", std::to_string(m_lab->Port("management")));
    config.Set("time_server_url", m_lab->Url("time"));
    config.Set("upload_local_file_path", "TestFile\\up.rar");
    config.Set("url_down_file", "50MB.rar");
    config.Save(false);

    std::string started = Output(testsupport::SourcePath("lab/sftp/start-sshd") +
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

  std::string AccountsFile() {
    const std::string path = m_folder + "/tmp/accounts.json";
    testsupport::WriteFile(path, R"({"accounts":[
      {"username":"bj","password":"bj123","statuscode":"0","userid":"20001","nickname":"北京用户",
       "location":"北京市 朝阳区","bandwidth":"100","rloc":"北京市","roper":"中国电信",
       "rcityid":"110105","roperid":"1","usertype":"1","locCityid":"110105","locOperid":"1",
       "locProid":"110000","scores":"80,81,82"}]})");
    return path;
  }

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
  EXPECT_EQ(Output("unzip -Z1 '" + remote + "'"), record + "\n");
  EXPECT_EQ(Output("unzip -p '" + remote + "'").rfind("+++start+++\n", 0), 0u);

  for (const auto& e : fs::directory_iterator(At("Data")))
    EXPECT_NE(e.path().extension(), ".zip") << e.path();
  EXPECT_FALSE(testsupport::Exists(At("Data/sftpconfigure.ini")));
  EXPECT_FALSE(testsupport::Exists(At("Data/sftpresult.ini")));
  EXPECT_FALSE(testsupport::Exists(At("Data/" + record)));
}
