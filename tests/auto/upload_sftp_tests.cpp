// Packages sent by the real PSFTP to the lab's private sshd.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "auto/packaging.h"
#include "core/data_base.h"
#include "platform/paths.h"
#include "core/properties_file.h"
#include "platform/ini_file.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

std::vector<std::string> Files(const std::string& folder, const std::string& extension) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() == extension) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

class UploadSftpTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    UserInfo user;
    user.userId = "1234";
    CDataBase::Instance().SetUserInfo(user);
    CopyFromDist("PSFTP");
    StartServer();
  }

  void TearDown() override {
    if (!m_server["SSHD_STATE"].empty()) {
      std::string stop = testsupport::SourcePath("lab/sftp/stop-sshd") + " '" +
                         m_server["SSHD_STATE"] + "' --clean";
      EXPECT_EQ(std::system(stop.c_str()), 0);
    }
    unsetenv("KESTRANE_PSFTP_CONNECT_MS");
    unsetenv("KESTRANE_PSFTP_STALL_MS");
    ProgramFolderTest::TearDown();
  }

  void StartServer() {
    // The script also points the program folder's upload account at the server.
    std::string command =
        testsupport::SourcePath("lab/sftp/start-sshd") + " --account-into '" + m_folder + "' 2>&1";
    int status = -1;
    std::string text = testsupport::CommandOutput(command, &status);
    ASSERT_EQ(status, 0) << text;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      auto eq = line.find('=');
      if (eq != std::string::npos) m_server[line.substr(0, eq)] = line.substr(eq + 1);
    }
    ASSERT_FALSE(m_server["SSHD_PORT"].empty()) << text;
  }

  void WriteAccount(const std::string& port, const std::string& password,
                    const std::string& dataDir = "/upload") {
    Write("conf/config.xml",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<config>\r\n"
          "  <dataDir dir=\"" +
              dataDir +
              "\"/>\r\n  <task>\r\n"
              "    <host>" +
              EncodeStoredValue("127.0.0.1") +
              "</host>\r\n"
              "    <port>" +
              EncodeStoredValue(port) +
              "</port>\r\n"
              "    <username>" +
              EncodeStoredValue(m_server["SSHD_USER"]) +
              "</username>\r\n"
              "    <password>" +
              EncodeStoredValue(password) +
              "</password>\r\n"
              "  </task>\r\n</config>\r\n");
  }

  std::string Collect(const std::string& name) const {
    return paths::Join(m_server.at("SSHD_COLLECT"), name);
  }

  int Upload(const std::string& folder = "Data", const std::string& dataDir = "/upload") {
    UploadRequest request;
    auto result = UploadFolder(request, folder);
    EXPECT_EQ(request.open, "\"open  127.0.0.1\"");
    EXPECT_EQ(request.changeFolder, "\"cd ." + dataDir + "\"");
    EXPECT_EQ(request.folder, folder);
    EXPECT_EQ(result.wait_for(60s), std::future_status::ready);
    return result.get();
  }

  std::map<std::string, std::string> m_server;
};

TEST_F(UploadSftpTest, ThreePackagesArriveWholeAndTheFolderIsLeftClean) {
  std::string big(3 * 1024 * 1024, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 5);
  Write("Data/Pccollect_band_2014050607.dat", "+++start+++\r\ntesttype=1\r\n---end---\r\n");
  Write("Data/Pccollect_screen_2014050607.dat", big);
  Write("Data/Pccollect_filedown_2014050607.dat", "filedown");
  std::map<std::string, std::string> packages;
  for (auto [kind, name] :
       {std::pair{packaging::kBand, "band"}, std::pair{packaging::kScreen, "screen"},
        std::pair{packaging::kFileDown, "filedown"}}) {
    std::string package =
        PackageRecord(kind, std::string("Data\\Pccollect_") + name + "_2014050607.dat", "Data");
    packages[package] = Read("Data/" + package);
    ASSERT_FALSE(packages[package].empty()) << package;
  }

  EXPECT_EQ(Upload(), 0);

  for (const auto& [name, bytes] : packages)
    EXPECT_TRUE(testsupport::ReadFile(Collect(name)) == bytes) << name << " differs on the server";
  EXPECT_EQ(Files(m_server["SSHD_COLLECT"], ".zip").size(), 3u);
  EXPECT_TRUE(Files(m_server["SSHD_COLLECT"], ".part").empty());
  EXPECT_TRUE(Files(At("Data"), ".zip").empty());
  EXPECT_FALSE(testsupport::Exists(At("Data/sftpconfigure.ini")));
  EXPECT_FALSE(testsupport::Exists(At("Data/sftpresult.ini")));
}

TEST_F(UploadSftpTest, RenameAfterAnotherSenderKeepsItsFile) {
  // Another sender of the same package renames the shared ".part" into place while this one is
  // still writing: this sender's rename then fails, and the file already there is the package,
  // not something to delete.
  std::string package(64 * 1024 * 1024, '\0');
  for (size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>((i * 131) >> 7);
  Write("Data/big.zip", package);
  const std::string part = Collect("big.zip.part");
  const std::string theirs = Collect(".theirs");
  testsupport::WriteFile(theirs, package);

  UploadRequest request;
  auto result = UploadFolder(request, "Data");
  bool steppedIn = false;
  auto bound = std::chrono::steady_clock::now() + 30s;
  while (!steppedIn && std::chrono::steady_clock::now() < bound &&
         result.wait_for(1ms) != std::future_status::ready) {
    if (::unlink(part.c_str()) == 0) {
      steppedIn = true;
      ASSERT_EQ(std::rename(theirs.c_str(), Collect("big.zip").c_str()), 0);
    }
  }
  ASSERT_TRUE(steppedIn) << "the transfer ended before the other sender could step in";
  ASSERT_EQ(result.wait_for(60s), std::future_status::ready);
  EXPECT_EQ(result.get(), 0);

  EXPECT_TRUE(testsupport::ReadFile(Collect("big.zip")) == package) << "the delivered copy was lost";
  // Whole on the server, so the answer is a success and the package leaves the folder.
  EXPECT_FALSE(testsupport::Exists(At("Data/big.zip")));
  EXPECT_TRUE(Files(m_server["SSHD_COLLECT"], ".part").empty());
}

TEST_F(UploadSftpTest, WrongPasswordKeepsThePackageAndAnswersFailure) {
  WriteAccount(m_server["SSHD_PORT"], "not-the-password");
  Write("Data/a.zip", "package");
  EXPECT_EQ(Upload(), 0);
  EXPECT_EQ(Read("Data/a.zip"), "package");
  std::string line = FirstLine(Read("Data/sftpresult.ini"));
  EXPECT_NE(line.rfind("Success", 0), 0u) << line;
  EXPECT_EQ(line, "Failed: authentication");
  EXPECT_FALSE(testsupport::Exists(Collect("a.zip")));
}

TEST_F(UploadSftpTest, RemoteFolderBelowTheLoginFolderOrFromTheRoot) {
  // "/upload" is found below the login folder; a folder that only exists from the root is
  // found there; a folder that exists nowhere is a failure.
  const std::string absolute = m_server["SSHD_COLLECT"];
  WriteAccount(m_server["SSHD_PORT"], m_server["SSHD_PASSWORD"], absolute);
  Write("Data/a.zip", "a");
  EXPECT_EQ(Upload("Data", absolute), 0);
  EXPECT_EQ(testsupport::ReadFile(Collect("a.zip")), "a");

  WriteAccount(m_server["SSHD_PORT"], m_server["SSHD_PASSWORD"], "/nowhere");
  Write("Data/b.zip", "b");
  EXPECT_EQ(Upload("Data", "/nowhere"), 0);
  EXPECT_EQ(FirstLine(Read("Data/sftpresult.ini")), "Failed: remote folder");
  EXPECT_TRUE(testsupport::Exists(At("Data/b.zip")));
}

TEST_F(UploadSftpTest, KeyLoginAndAChangedServerKeyIsRefused) {
  WriteAccount(m_server["SSHD_PORT"], "");
  testsupport::CopyFile(m_server["SSHD_KEY"], At("conf/psftp_key"));
  Write("Data/a.zip", "first");
  EXPECT_EQ(Upload(), 0);
  EXPECT_EQ(testsupport::ReadFile(Collect("a.zip")), "first");
  std::string known = Read("conf/psftp_known_hosts");
  ASSERT_NE(known.find("[127.0.0.1]:" + m_server["SSHD_PORT"] + " ssh-ed25519 "), std::string::npos)
      << known;

  // The same address now answers with another key: nothing is sent.
  std::string other = testsupport::ReadFile(m_server["SSHD_KEY"] + ".pub");
  std::string otherKey = other.substr(0, other.find(' ', other.find(' ') + 1));
  Write("conf/psftp_known_hosts", "[127.0.0.1]:" + m_server["SSHD_PORT"] + " " + otherKey + "\n");
  Write("Data/b.zip", "second");
  EXPECT_EQ(Upload(), 0);
  EXPECT_EQ(FirstLine(Read("Data/sftpresult.ini")), "Failed: host key");
  EXPECT_TRUE(testsupport::Exists(At("Data/b.zip")));
  EXPECT_FALSE(testsupport::Exists(Collect("b.zip")));
}

TEST_F(UploadSftpTest, DeadOrSilentServerEndsTheThreadWithinItsBound) {
  setenv("KESTRANE_PSFTP_CONNECT_MS", "1000", 1);
  setenv("KESTRANE_PSFTP_STALL_MS", "1000", 1);
  Write("Data/a.zip", "package");

  // Nothing listens.
  WriteAccount(std::to_string(testsupport::FreePort()), "x");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Upload(), 0);
  EXPECT_EQ(FirstLine(Read("Data/sftpresult.ini")), "Failed: connect");

  // Something accepts the connection and never says a word.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  WriteAccount(std::to_string(ntohs(addr.sin_port)), "x");
  EXPECT_EQ(Upload(), 0);
  close(fd);
  EXPECT_EQ(FirstLine(Read("Data/sftpresult.ini")), "Failed: handshake");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
  EXPECT_EQ(Read("Data/a.zip"), "package");
}

}  // namespace
