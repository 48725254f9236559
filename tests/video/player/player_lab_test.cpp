// Whole plays through libVideoPlayer.so, loaded from the program folder as the engine loads it,
// against the lab's clips and faults.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QToolButton>
#include <QWidget>
#include <atomic>
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
    // Shown at the clip's pace: 8 s of 25 frames a second, each shown or, on a machine too
    // busy to keep up, dropped.
    EXPECT_NEAR(stats.framesShown + stats.framesDropped, 200, 2);
    EXPECT_GT(stats.framesShown, 20);
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

namespace {

// A line slower than the clip: the play stalls, waits for a second ahead each time, and the
// average is the line's rate.
TEST_F(PlayerLabTest, SlowLineStallsAndAveragesItsRate) {
  const int64_t rate = 40000;  // the clip needs about 60000 B/s
  ASSERT_TRUE(m_lab->SetFault("video", "/media/*", "rate=" + std::to_string(rate)));
  Start(m_lab->Url("video", "/media/slow/clip.flv"));
  Result r = Await(60s);
  ASSERT_EQ(r.kind, "VideoInfomation") << r.argument;
  ASSERT_EQ(r.fields.size(), 7u);
  EXPECT_EQ(r.fields[6], "true");
  const videoplayer::PlayStatistics stats = m_control->Statistics();
  EXPECT_GT(stats.stalls, 0);
  EXPECT_GT(stats.stallSeconds, 1.0);
  EXPECT_EQ(stats.bytes, FileSize("clip.flv"));
  EXPECT_NEAR(std::stod(r.fields[3]) * 1024, rate, rate * 0.05);
  EXPECT_NEAR(std::stod(r.fields[0]) * 1024, rate, rate * 0.10);
  // The clock paused while stalled: the play lasted the clip plus its stalls.
  EXPECT_NEAR(std::stod(r.fields[5]), 8.0 + stats.stallSeconds + stats.loadingSeconds, 1.0);
}

// Nothing shown at all is a failure with a reason, whatever the cause.
TEST_F(PlayerLabTest, FailsWithoutAFrame) {
  Limits(2000, 30000, 120000);
  struct Case {
    std::string path, fault, reason;
  };
  const Case cases[] = {
      {"/media/gone/clip.mp4", "404", "status 404"},
      {"/youku/v_show/id_XNTc2MjE0NjQ4.html", "", "not media"},
      {"/media/noise/clip.bin", "", ""},
      {"/media/silent/clip.mp4", "stallhead", "open timeout"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    if (!c.fault.empty()) {
      ASSERT_TRUE(m_lab->SetFault("video", c.path, c.fault));
    }
    Start(m_lab->Url("video", c.path));
    Result r = Await(20s);
    EXPECT_EQ(r.kind, "fail");
    if (!c.reason.empty()) {
      EXPECT_EQ(r.argument, c.reason);
    }
  }
  Start("http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/media/clip.mp4");
  Result r = Await(20s);
  EXPECT_EQ(r.kind, "fail");
  EXPECT_EQ(r.argument, "connect failed");
  Start("ftp://127.0.0.1/clip.mp4");
  EXPECT_EQ(Await(20s).kind, "fail");
  Start("");
  EXPECT_EQ(Await(20s).kind, "fail");
}

// Cut off after the first frames: shown as far as the bytes go, then "false".
TEST_F(PlayerLabTest, BrokenOrStalledTransferIsNotCompleted) {
  Limits(15000, 1500, 120000);
  const int64_t cut = 200000;
  for (const std::string fault : {"close=", "stall="}) {
    SCOPED_TRACE(fault);
    m_lab->ClearFaults("video");
    ASSERT_TRUE(m_lab->SetFault("video", "/media/*", fault + std::to_string(cut)));
    Start(m_lab->Url("video", "/media/cut/clip.flv"));
    Result r = Await(30s);
    ASSERT_EQ(r.kind, "VideoInfomation") << r.argument;
    ASSERT_EQ(r.fields.size(), 7u);
    EXPECT_EQ(r.fields[6], "false");
    EXPECT_EQ(r.fields[4], std::to_string(cut / 1024));
    EXPECT_EQ(r.fields[2], std::to_string(FileSize("clip.flv") / 1024));
    const videoplayer::PlayStatistics stats = m_control->Statistics();
    EXPECT_EQ(stats.bytes, cut);
    EXPECT_GT(stats.framesShown, 10);
    EXPECT_LT(stats.framesShown, 190);
  }
}

// Without a Content-Length the total is what arrived; through a redirect only the media's body
// counts.
TEST_F(PlayerLabTest, NoLengthAndRedirect) {
  ASSERT_TRUE(m_lab->SetFault("video", "/media/*", "nolength"));
  Start(m_lab->Url("video", "/media/open/clip_tail.mp4"));
  Result r = Await();
  ASSERT_EQ(r.kind, "VideoInfomation") << r.argument;
  EXPECT_EQ(r.fields[6], "true");
  EXPECT_EQ(r.fields[2], std::to_string(FileSize("clip_tail.mp4") / 1024));
  EXPECT_EQ(m_control->Statistics().contentLength, -1);
  EXPECT_EQ(m_control->Statistics().bytes, FileSize("clip_tail.mp4"));

  m_lab->ClearFaults("video");
  ASSERT_TRUE(m_lab->WaitIdle("video"));
  m_lab->Reset("video");
  // "&" in the address travels as XML text.
  Start(m_lab->Url("video", "/youku/player/getFlvPath/sid/1_0/st/flv/fileid/ABC?K=k1&x=2"));
  r = Await();
  ASSERT_EQ(r.kind, "VideoInfomation") << r.argument;
  EXPECT_EQ(r.fields[6], "true");
  ASSERT_TRUE(m_lab->WaitIdle("video"));
  EXPECT_EQ(m_control->Statistics().bytes, FileSize("clip.flv"));
  bool sawKey = false;
  for (const LabRequest& q : m_lab->Requests("video"))
    sawKey = sawKey || q.target == "/media/youku/ABC.flv?K=k1";
  EXPECT_TRUE(sawKey);
}

// A stop or a new start ends the play silently and lets go of the line at once.
TEST_F(PlayerLabTest, StopAndRestartEndSilently) {
  ASSERT_TRUE(m_lab->SetFault("video", "/media/*", "rate=30000"));
  Start(m_lab->Url("video", "/media/a/clip.flv"));
  ASSERT_TRUE(m_lab->WaitUntil("video", [](const LabStats& s) { return s.bodySent > 60000; }));
  EXPECT_EQ(m_control->CallFunction(videoplayer::StopRequest("ignored")), "<string>ok</string>");
  EXPECT_TRUE(m_lab->WaitIdle("video", 1s));

  Start(m_lab->Url("video", "/media/b/clip.flv"));
  ASSERT_TRUE(m_lab->WaitUntil("video", [](const LabStats& s) { return s.active > 0; }));
  m_lab->ClearFaults("video");
  Start(m_lab->Url("video", "/media/c/clip.flv"));
  Result r = Await();
  EXPECT_EQ(r.kind, "VideoInfomation");
  // The stopped and the replaced play said nothing: exactly one text for three starts.
  EXPECT_FALSE(PumpUntil([&] { return Count() > 1; }, 1500ms));
  EXPECT_EQ(Count(), 1u);
}

// The play limit ends a long play as completed; the close button ends it with the quit text.
TEST_F(PlayerLabTest, PlayLimitAndCloseButton) {
  Limits(15000, 30000, 3000);
  Start(m_lab->Url("video", "/media/limit/clip.mp4"));
  Result r = Await();
  ASSERT_EQ(r.kind, "VideoInfomation") << r.argument;
  EXPECT_EQ(r.fields[6], "true");
  EXPECT_NEAR(std::stod(r.fields[5]), 3.0, 0.3);

  Limits(15000, 30000, 120000);
  Start(m_lab->Url("video", "/media/quit/clip.mp4"));
  auto* close = m_control->Widget()->findChild<QToolButton*>("VideoPlayerClose");
  ASSERT_NE(close, nullptr);
  // Frames reach the widget through the window thread's queue.
  QWidget* view = m_control->Widget();
  view->resize(320, 180);
  const QRgb black = QColor(Qt::black).rgb();
  ASSERT_EQ(view->grab().toImage().pixel(160, 90), black);
  ASSERT_TRUE(PumpUntil([&] { return view->grab().toImage().pixel(160, 90) != black; }, 5s));
  close->click();
  r = Await();
  EXPECT_EQ(r.kind, "VideoSpeedChildQuit");
  EXPECT_TRUE(m_lab->WaitIdle("video", 1s));
}

}  // namespace

namespace {

// The engine may answer a text with a call of its own from inside the callback, and may
// destroy the control while a clip plays.
TEST_F(PlayerLabTest, CallbackMayCallInAndTheControlMayGoMidPlay) {
  Limits(15000, 30000, 1000);
  const std::string url = m_lab->Url("video", "/media/again/clip.flv");
  std::atomic<int> calls{0};
  m_control->SetCallback([&](const std::string& text) {
    if (calls++ == 0) m_control->CallFunction(videoplayer::StartRequest(url));
    std::lock_guard<std::mutex> lock(m_lock);
    m_texts.push_back(text);
    m_changed.notify_all();
  });
  Start(url);
  ASSERT_TRUE(PumpUntil([&] { return Count() == 2; }, 20s));
  EXPECT_EQ(ParseCallback(m_texts[0]).kind, "VideoInfomation");
  EXPECT_EQ(ParseCallback(m_texts[1]).kind, "VideoInfomation");

  Limits(15000, 30000, 120000);
  ASSERT_TRUE(m_lab->SetFault("video", "/media/*", "rate=30000"));
  Start(url);
  ASSERT_TRUE(m_lab->WaitUntil("video", [](const LabStats& s) { return s.bodySent > 30000; }));
  QPointer<QWidget> view = m_control->Widget();
  m_control.reset();
  EXPECT_TRUE(view.isNull());
  EXPECT_TRUE(m_lab->WaitIdle("video", 1s));
  EXPECT_EQ(Count(), 2u);
}

}  // namespace

namespace {

// A full buffer pauses the transfer: no more is read than it holds, and a play that needs more
// stalls out.
TEST_F(PlayerLabTest, FullBufferPausesTheTransfer) {
  videoplayer::PlayerLimits limits;
  limits.stallLimitMs = 1500;
  limits.bufferBytes = 128 * 1024;
  m_control->SetLimitsForTest(limits);
  Start(m_lab->Url("video", "/media/full/clip.flv"));
  Result r = Await();
  ASSERT_EQ(r.kind, "VideoInfomation") << r.argument;
  EXPECT_EQ(r.fields[6], "false");
  const int64_t bytes = m_control->Statistics().bytes;
  EXPECT_LE(bytes, limits.bufferBytes);
  EXPECT_GT(bytes, limits.bufferBytes / 2);
}

}  // namespace
