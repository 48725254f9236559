// kestrane-cli video against the lab: login, resolution, a real play, the record, exit codes.
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "lab_fixture.h"
#include "test_support.h"

namespace {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class VideoCliTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    m_lab = std::make_unique<LabProcess>(std::vector<std::string>{
        "--management", "--time", "--video",
        "--management-accounts=" + WriteBeijingTelecomAccounts(m_folder + "/tmp/accounts.json")});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    PrepareLabProgramFolder(m_folder, *m_lab, "127.0.0.1", {"libVideoPlayer.so", "Skin.zip"});
  }

  CliRun Cli(const std::string& args) {
    CliRun run;
    const std::string out = m_folder + "/tmp/out", err = m_folder + "/tmp/err";
    const std::string command = "timeout 300 '" + testsupport::DistPath("kestrane-cli") +
                                "' --folder '" + m_folder + "' " + args + " >'" + out + "' 2>'" +
                                err + "' </dev/null";
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = testsupport::ReadFile(out);
    run.err = testsupport::ReadFile(err);
    return run;
  }

  std::unique_ptr<LabProcess> m_lab;
};

}  // namespace

TEST_F(VideoCliTest, PlaysResolvesAndFailsWithTheRightExitCodes) {
  const std::string clip = m_lab->Url("video", "/media/lab/clip.flv");
  EXPECT_EQ(Cli("video '" + clip + "'").status, 2);  // no saved login
  EXPECT_EQ(Cli("video").status, 1);
  ASSERT_EQ(Cli("login --user bj --password bj123").status, 0);

  // A media address, played whole; the numbers match what the lab sent.
  m_lab->Reset("video");
  CliRun run = Cli("video '" + clip + "' --json");
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  RecordProperty("json", run.out);  // the figures, in --gtest_output=xml
  rapidjson::Document json;
  ASSERT_FALSE(json.Parse(run.out.c_str()).HasParseError()) << run.out;
  const int64_t size = static_cast<int64_t>(
      testsupport::ReadFile(testsupport::DistPath("../lab-media/clip.flv")).size());
  EXPECT_EQ(json["completed"].GetString(), std::string("true"));
  EXPECT_EQ(json["totalsize"].GetString(), std::to_string(size / 1024));
  EXPECT_EQ(json["loadsize"].GetString(), std::to_string(size / 1024));
  EXPECT_EQ(json["bytes"].GetInt64(), size);
  EXPECT_EQ(json["bytes"].GetInt64(), m_lab->Stats("video").bodySent);
  EXPECT_EQ(json["stalls"]["count"].GetInt(), 0);
  EXPECT_EQ(json["videoCodec"].GetString(), std::string("h264"));
  EXPECT_GT(json["framesShown"].GetInt64(), 150);
  EXPECT_GE(json["cpuSeconds"].GetDouble(), 0.0);
  EXPECT_EQ(std::string(json["record"].GetString()).rfind("Pccollect_videospeed_", 0), 0u);

  // A page with a site word is resolved first (manual order) and its first address played.
  m_lab->Reset("video");
  const std::string page = m_lab->Url("video", "/ku6/show/Lx2aCvdgqXJdJrzQ.html");
  run = Cli("video '" + page + "'");
  EXPECT_EQ(run.status, 0) << run.err << run.out;
  bool played = false;
  for (const LabRequest& r : m_lab->Requests("video"))
    played = played || r.target == "/media/ku6/Lx2aCvdgqXJdJrzQ/1.f4v";
  EXPECT_TRUE(played);
  // Played as given, the page is no media.
  run = Cli("video '" + page + "' --media --json");
  EXPECT_EQ(run.status, 3) << run.out;
  EXPECT_NE(run.out.find("\"result\":\"fail\""), std::string::npos);

  // Without the player library nothing plays.
  std::filesystem::remove(At("libVideoPlayer.so"));
  run = Cli("video '" + clip + "'");
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("视频插件不可用"), std::string::npos);
}
