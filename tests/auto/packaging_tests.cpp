#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "auto/packaging.h"
#include "core/data_base.h"
#include "platform/ini_file.h"
#include "platform/process.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> Zips(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() == ".zip") out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

class PackagingTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    UserInfo user;
    user.userId = "1234";
    CDataBase::Instance().SetUserInfo(user);
    m_savedTimings = packaging::GetUploadTimings();
  }
  void TearDown() override {
    packaging::SetUploadTimings(m_savedTimings);
    ProgramFolderTest::TearDown();
  }

  // A stand-in transfer program for what the real one cannot be made to do on demand (answer
  // "Success" with extra text, never answer, answer slowly).
  void FakeTransferProgram(const std::string& body) {
    Write("PSFTP", "#!/bin/sh\n" + body);
    fs::permissions(At("PSFTP"), fs::perms::owner_all);
  }

  // "Sends" the package of the put command into sent/ and answers with `answer` for it.
  void CopyingTransferProgram(const std::string& answer) {
    fs::create_directories(At("sent"));
    FakeTransferProgram(
        "printf '%s|%s|%s\\n' \"$1\" \"$2\" \"$3\" >> args.log\n"
        "put=$(sed -n 's/^filename=put //p' \"$3/sftpconfigure.ini\" | tr -d '\\r' | tr '\\\\' "
        "'/')\n"
        "cp \"$put\" sent/\n"
        "printf '" +
        answer + "\\r\\npackage=%s\\r\\n' \"${put##*/}\" > \"$3/sftpresult.ini\"\n");
  }

  static UploadRequest Request(const std::string& folder) {
    return UploadRequest{"\"cd ./upload\"", "\"open  127.0.0.1\"", folder};
  }

  packaging::UploadTimings m_savedTimings;
};

TEST(PackageNameTest, NamesFromTimeKindAndUser) {
  std::tm t{};
  t.tm_year = 2014 - 1900;
  t.tm_mon = 4;
  t.tm_mday = 6;
  t.tm_hour = 7;
  t.tm_min = 8;
  t.tm_sec = 9;
  using namespace packaging;
  EXPECT_EQ(PackageName(kPing, t, "1234"), "20140506070809_1024_PING_1234.zip");
  EXPECT_EQ(PackageName(kTrace, t, "1234"), "20140506070809_1024_TRACE_1234.zip");
  EXPECT_EQ(PackageName(kBand, t, "1234"), "20140506070809_1024_Pccollect_band_1234.zip");
  EXPECT_EQ(PackageName(kScreen, t, "1234"), "20140506070809_1024_Pccollect_screen_1234.zip");
  EXPECT_EQ(PackageName(kVideoSpeed, t, "1234"),
            "20140506070809_1024_Pccollect_videospeed_1234.zip");
  EXPECT_EQ(PackageName(kFileDown, t, "1234"), "20140506070809_1024_Pccollect_filedown_1234.zip");
  EXPECT_EQ(PackageName(0, t, "1234"), "20140506070809_1024_Pccollect_error_1234.zip");
  EXPECT_EQ(PackageName(7, t, "1234"), "20140506070809_1024_Pccollect_error_1234.zip");
  // A user id never leads the package out of its folder.
  EXPECT_EQ(PackageName(kBand, t, "../x\\y"), "20140506070809_1024_Pccollect_band_.._x_y.zip");
}

TEST_F(PackagingTest, RecordMovesIntoItsOwnPackageWithoutFolder) {
  const std::string record = "+++start+++\r\ntesttype=1\r\n---end---\r\n";
  Write("Data/Pccollect_band_2014050607.dat", record);
  std::time_t before = std::time(nullptr);
  std::string name = PackageRecord(packaging::kBand, "Data\\Pccollect_band_2014050607.dat", "Data");
  std::time_t after = std::time(nullptr);

  EXPECT_TRUE(std::regex_match(name, std::regex(R"(\d{14}_1024_Pccollect_band_1234\.zip)")))
      << name;
  std::tm low{}, high{};
  localtime_r(&before, &low);
  localtime_r(&after, &high);
  char lowText[16], highText[16];
  std::strftime(lowText, sizeof lowText, "%Y%m%d%H%M%S", &low);
  std::strftime(highText, sizeof highText, "%Y%m%d%H%M%S", &high);
  EXPECT_GE(name.substr(0, 14), std::string(lowText));
  EXPECT_LE(name.substr(0, 14), std::string(highText));

  EXPECT_FALSE(testsupport::Exists(At("Data/Pccollect_band_2014050607.dat")));
  EXPECT_EQ(Zips(At("Data")), std::vector<std::string>{name});
  ASSERT_EQ(
      platform::RunProcess(
          "sh",
          {"-c", "unzip -Z1 \"Data/$0\" > list.txt && unzip -p \"Data/$0\" > content.txt", name}),
      0);
  EXPECT_EQ(Read("list.txt"), "Pccollect_band_2014050607.dat\n");
  EXPECT_EQ(Read("content.txt"), record);

  Write("NetStatusData/Pccollect_ping_2014050607.dat", "ping\n");
  std::string ping = PackageRecord(packaging::kPing, "NetStatusData\\Pccollect_ping_2014050607.dat",
                                   "NetStatusData");
  EXPECT_TRUE(std::regex_match(ping, std::regex(R"(\d{14}_1024_PING_1234\.zip)"))) << ping;
  EXPECT_TRUE(testsupport::Exists(At("NetStatusData/" + ping)));
}

TEST_F(PackagingTest, WithoutZipTheRecordStaysUnpacked) {
  std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", At("tmp").c_str(), 1);
  Write("Data/Pccollect_band_2014050607.dat", "record");
  PackageRecord(packaging::kBand, "Data\\Pccollect_band_2014050607.dat", "Data");
  setenv("PATH", savedPath.c_str(), 1);
  EXPECT_EQ(Read("Data/Pccollect_band_2014050607.dat"), "record");
  EXPECT_TRUE(Zips(At("Data")).empty());

  // zip failing (the record is missing) leaves no package either.
  PackageRecord(packaging::kBand, "Data\\Pccollect_none.dat", "Data");
  EXPECT_TRUE(Zips(At("Data")).empty());
}

TEST_F(PackagingTest, MissingTransferProgramEndsBeforeAnyExchangeFile) {
  Write("Data/a.zip", "a");
  Write("Data/sftpresult.ini", "Success\r\n");
  EXPECT_EQ(RunUpload(Request("Data")), -1);
  EXPECT_FALSE(testsupport::Exists(At("Data/sftpconfigure.ini")));
  EXPECT_FALSE(testsupport::Exists(At("Data/sftpresult.ini")));
  EXPECT_TRUE(testsupport::Exists(At("Data/a.zip")));
}

TEST_F(PackagingTest, SendsEveryPackageInNameOrderAndCleansUp) {
  CopyingTransferProgram("Successfully sent, and more words after it");
  Write("Data/20140506070811_1024_Pccollect_band_1234.zip", "third");
  Write("Data/20140506070809_1024_Pccollect_band_1234.zip", "first");
  Write("Data/20140506070810_1024_Pccollect_screen_1234.ZIP", "second");
  Write("Data/Pccollect_band_2014050607.dat", "an unpacked record is not sent");

  EXPECT_EQ(RunUpload(Request("Data")), 0);

  EXPECT_EQ(Read("args.log"),
            "open  127.0.0.1|cd ./upload|Data\n"
            "open  127.0.0.1|cd ./upload|Data\n"
            "open  127.0.0.1|cd ./upload|Data\n");
  EXPECT_EQ(Read("sent/20140506070809_1024_Pccollect_band_1234.zip"), "first");
  EXPECT_EQ(Read("sent/20140506070810_1024_Pccollect_screen_1234.ZIP"), "second");
  EXPECT_EQ(Read("sent/20140506070811_1024_Pccollect_band_1234.zip"), "third");
  EXPECT_TRUE(Zips(At("Data")).empty());
  EXPECT_FALSE(testsupport::Exists(At("Data/20140506070810_1024_Pccollect_screen_1234.ZIP")));
  EXPECT_FALSE(testsupport::Exists(At("Data/sftpconfigure.ini")));
  EXPECT_FALSE(testsupport::Exists(At("Data/sftpresult.ini")));
  EXPECT_TRUE(testsupport::Exists(At("Data/Pccollect_band_2014050607.dat")));
}

TEST_F(PackagingTest, AnswerOtherThanSuccessStopsAndKeepsPackages) {
  for (const char* answer : {"Failed: authentication", "Succes", ""}) {
    SCOPED_TRACE(answer);
    fs::remove(At("args.log"));
    CopyingTransferProgram(answer);
    Write("Data/1.zip", "1");
    Write("Data/2.zip", "2");
    EXPECT_EQ(RunUpload(Request("Data")), 0);
    EXPECT_EQ(Lines(Read("args.log")).size(), 1u);  // the first failure ends the thread
    EXPECT_EQ(Zips(At("Data")), (std::vector<std::string>{"1.zip", "2.zip"}));
    EXPECT_EQ(
        platform::GetPrivateProfileString("sftpput", "filename", "", At("Data/sftpconfigure.ini")),
        "put Data\\1.zip");
  }
}

TEST_F(PackagingTest, AnswerForAnotherPackageIsIgnored) {
  // A transfer program left over from an earlier upload answers "Success" for its own package
  // while this one's transfer is still under way and then fails.
  FakeTransferProgram(
      "put=$(sed -n 's/^filename=put //p' \"$3/sftpconfigure.ini\" | tr -d '\\r' | tr '\\\\' '/')\n"
      "printf 'Success\\r\\npackage=20140506070800_1024_Pccollect_band_1234.zip\\r\\n' "
      "> \"$3/sftpresult.ini\"\n"
      "sleep 0.5\n"
      "printf 'Failed: connect\\r\\npackage=%s\\r\\n' \"${put##*/}\" > \"$3/answer\"\n"
      "mv \"$3/answer\" \"$3/sftpresult.ini\"\n");
  Write("Data/20140506070809_1024_Pccollect_band_1234.zip", "unsent");
  EXPECT_EQ(RunUpload(Request("Data")), 0);
  EXPECT_EQ(Read("Data/20140506070809_1024_Pccollect_band_1234.zip"), "unsent");

  // An answer naming no package at all is no answer either.
  FakeTransferProgram("printf 'Success\\r\\n' > \"$3/sftpresult.ini\"\n");
  EXPECT_EQ(RunUpload(Request("Data")), 0);
  EXPECT_EQ(Read("Data/20140506070809_1024_Pccollect_band_1234.zip"), "unsent");

  // The same program answering for this package is believed.
  CopyingTransferProgram("Success");
  EXPECT_EQ(RunUpload(Request("Data")), 0);
  EXPECT_TRUE(Zips(At("Data")).empty());
  EXPECT_EQ(Read("sent/20140506070809_1024_Pccollect_band_1234.zip"), "unsent");
}

TEST_F(PackagingTest, TransferProgramThatNeverAnswersIsStoppedAtTheBound) {
  packaging::UploadTimings timings;
  timings.maxChecks = 25;  // 0.5 s instead of 10 minutes
  packaging::SetUploadTimings(timings);
  FakeTransferProgram("echo $$ > transfer.pid\nexec sleep 60\n");
  Write("Data/1.zip", "1");

  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunUpload(Request("Data")), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_TRUE(testsupport::Exists(At("Data/1.zip")));
  int pid = std::stoi(Read("transfer.pid"));
  EXPECT_NE(kill(pid, 0), 0) << "the transfer program was left running";
}

TEST_F(PackagingTest, TransferProgramEndingWithoutAnswerDoesNotHoldTheThread) {
  FakeTransferProgram("exit 3\n");  // full ten-minute bound left in place
  Write("Data/1.zip", "1");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunUpload(Request("Data")), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_TRUE(testsupport::Exists(At("Data/1.zip")));
}

TEST_F(PackagingTest, UploadsOfOneFolderTakeTurnsAndSendEachPackageOnce) {
  fs::create_directories(At("sent"));
  FakeTransferProgram(
      "echo begin >> \"$3.turns\"\n"
      "put=$(sed -n 's/^filename=put //p' \"$3/sftpconfigure.ini\" | tr -d '\\r' | tr '\\\\' '/')\n"
      "sleep 0.1\n"
      "cp \"$put\" sent/ && echo \"$put\" >> sent.log\n"
      "echo end >> \"$3.turns\"\n"
      "printf 'Success\\r\\npackage=%s\\r\\n' \"${put##*/}\" > \"$3/sftpresult.ini\"\n");
  for (int i = 1; i <= 4; ++i) Write("Data/" + std::to_string(i) + ".zip", std::to_string(i));

  std::vector<std::shared_future<int>> results;
  for (int i = 0; i < 5; ++i) results.push_back(StartUpload(Request("Data")));
  // Another folder is not held up by the first.
  Write("NetStatusData/p.zip", "p");
  auto other = StartUpload(Request("NetStatusData"));

  ASSERT_TRUE(packaging::WaitForUploads(30s));
  for (auto& r : results) EXPECT_EQ(r.get(), 0);
  EXPECT_EQ(other.get(), 0);

  std::vector<std::string> sent = Lines(Read("sent.log"));
  std::sort(sent.begin(), sent.end());
  EXPECT_EQ(sent, (std::vector<std::string>{"Data/1.zip", "Data/2.zip", "Data/3.zip", "Data/4.zip",
                                            "NetStatusData/p.zip"}));
  // Within the Data folder no transfer began before the previous one ended.
  std::string dataTurns;
  for (const auto& line : Lines(Read("Data.turns"))) dataTurns += line == "begin" ? "b" : "e";
  EXPECT_EQ(dataTurns, "bebebebe");
  EXPECT_TRUE(Zips(At("Data")).empty());
  EXPECT_TRUE(Zips(At("NetStatusData")).empty());
  EXPECT_FALSE(testsupport::Exists(At("Data/sftpconfigure.ini")));
}

}  // namespace
