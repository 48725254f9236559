// Whole plays through libVideoPlayer.so, loaded from the program folder as the engine loads it,
// against the lab's clips and faults.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QToolButton>
#include <QWidget>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/version.h>
}

#include "lab_fixture.h"
#include "test_support.h"
#include "video/player/player_loader.h"

using namespace std::chrono_literals;

namespace {

struct Result {
  std::string kind;  // "VideoInfomation", "fail", "VideoSpeedChildQuit"
  std::string argument;
  std::vector<std::string> fields;
};

Result ParseCallback(const std::string& text) {
  Result r;
  for (const char* kind : {"VideoInfomation", "VideoSpeedChildQuit", "fail"})
    if (text.find(std::string("name=\"") + kind + "\"") != std::string::npos) {
      r.kind = kind;
      break;
    }
  const size_t a = text.find("<string>");
  const size_t b = text.find("</string>");
  if (a != std::string::npos && b != std::string::npos && b > a)
    r.argument = text.substr(a + 8, b - a - 8);
  size_t start = 0;
  while (r.kind == "VideoInfomation" && start <= r.argument.size()) {
    const size_t hash = r.argument.find('#', start);
    r.fields.push_back(r.argument.substr(start, hash - start));
    if (hash == std::string::npos) break;
    start = hash + 1;
  }
  return r;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < bound.count())
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

class PlayerLabTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_lab = std::make_unique<LabProcess>(std::vector<std::string>{"--video"});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    m_parent = std::make_unique<QWidget>();
    m_parent->resize(640, 360);
    std::string error;
    m_control = videoplayer::CreatePlayerControl(testsupport::DistPath("libVideoPlayer.so"),
                                                 m_parent.get(), &error);
    ASSERT_TRUE(m_control) << error;
    m_control->SetCallback([this](const std::string& text) {
      std::lock_guard<std::mutex> lock(m_lock);
      m_texts.push_back(text);
      m_changed.notify_all();
    });
    m_media = testsupport::DistPath("../lab-media/");
  }

  void TearDown() override {
    m_control.reset();
    m_parent.reset();
  }

  void Limits(int openMs, int stallMs, int playMs) {
    videoplayer::PlayerLimits limits;
    limits.openTimeoutMs = openMs;
    limits.stallLimitMs = stallMs;
    limits.playLimitMs = playMs;
    m_control->SetLimitsForTest(limits);
  }

  void Start(const std::string& url) {
    EXPECT_EQ(m_control->CallFunction(videoplayer::StartRequest(url)), "<string>ok</string>");
  }

  size_t Count() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_texts.size();
  }

  // The play's one text; also checks that no second one follows.
  Result Await(std::chrono::seconds bound = 40s) {
    std::unique_lock<std::mutex> lock(m_lock);
    const size_t before = m_seen;
    if (!m_changed.wait_for(lock, bound, [&] { return m_texts.size() > before; })) return {};
    m_seen = m_texts.size();
    return ParseCallback(m_texts.back());
  }

  int64_t FileSize(const std::string& name) {
    return static_cast<int64_t>(testsupport::ReadFile(m_media + name).size());
  }

  // One whole play of a clip: completed, every byte loaded and counted like the lab sent it.
  void ExpectWholePlay(const std::string& name) {
    SCOPED_TRACE(name);
    m_lab->Reset("video");
    Start(m_lab->Url("video", "/media/lab/" + name));
    Result r = Await();
    ASSERT_EQ(r.kind, "VideoInfomation") << r.argument;
    ASSERT_EQ(r.fields.size(), 7u) << r.argument;
    const int64_t size = FileSize(name);
    EXPECT_EQ(r.fields[2], std::to_string(size / 1024));
    EXPECT_EQ(r.fields[4], std::to_string(size / 1024));
    EXPECT_EQ(r.fields[6], "true");
    ASSERT_TRUE(m_lab->WaitIdle("video"));
    const videoplayer::PlayStatistics stats = m_control->Statistics();
    EXPECT_EQ(stats.bytes, size);
    EXPECT_EQ(stats.bytes, m_lab->Stats("video").bodySent);
    EXPECT_EQ(stats.contentLength, size);
    EXPECT_EQ(stats.videoCodec, "h264");
    EXPECT_EQ(stats.audioCodec, "aac");
    EXPECT_EQ(stats.stalls, 0);
    // Shown at the clip's pace: 8 s of 25 frames a second.
    EXPECT_NEAR(stats.framesShown, 200, 2);
    EXPECT_GE(std::stod(r.fields[5]), 7.9);
    EXPECT_LT(std::stod(r.fields[5]), 10.0);
    EXPECT_LT(std::stod(r.fields[1]), 2.0);
    EXPECT_GT(std::stod(r.fields[0]), 0.0);
    EXPECT_GT(std::stod(r.fields[3]), 0.0);
  }

  std::unique_ptr<LabProcess> m_lab;
  std::unique_ptr<QWidget> m_parent;
  videoplayer::ControlHandle m_control;
  std::string m_media;
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<std::string> m_texts;
  size_t m_seen = 0;
};

TEST_F(PlayerLabTest, ReportsReadinessAndDecoderVersion) {
  EXPECT_EQ(m_control->ReadyState(), videoplayer::kReadyStateComplete);
  EXPECT_EQ(m_control->FlashVersion(),
            (long{LIBAVCODEC_VERSION_MAJOR} << 16) | LIBAVCODEC_VERSION_MINOR);
  EXPECT_EQ(m_control->Widget()->parentWidget(), m_parent.get());
  EXPECT_EQ(m_control->CallFunction("<invoke name=\"other\"><arguments><string>x</string>"
                                    "</arguments></invoke>"),
            "<undefined/>");
}

TEST_F(PlayerLabTest, PlaysEveryClipWholeAtItsPace) {
  ExpectWholePlay("clip.mp4");
  ExpectWholePlay("clip_tail.mp4");
  ExpectWholePlay("clip.flv");
  EXPECT_EQ(Count(), 3u);
}
}  // namespace
