// libVideoPlayer.so: the player control behind video_player.h.

#include <curl/curl.h>

#include <QImage>
#include <QMetaObject>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>
#include <QToolButton>
#include <QWidget>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "video/player/media_decoder.h"
#include "video/player/play_session.h"
#include "video/player/play_text.h"
#include "video/player/video_player.h"

#define VIDEO_PLAYER_EXPORT __attribute__((visibility("default")))

namespace videoplayer {
namespace {

class VideoWidget;

// What the plays share with the control; outlives both, so a play never points at a
// destroyed widget or control.
struct Shared {
  std::mutex lock;
  VideoWidget* widget = nullptr;  // cleared by the widget's destructor
  IVideoPlayerControl::Callback callback;
  PlayStatistics stats;
};

class VideoWidget : public QWidget {
 public:
  VideoWidget(QWidget* parent, std::shared_ptr<Shared> shared, std::function<void()> onClose)
      : QWidget(parent), m_shared(std::move(shared)) {
    setObjectName("VideoPlayerView");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 90);
    m_close = new QToolButton(this);
    m_close->setObjectName("VideoPlayerClose");
    m_close->setText(QString::fromUtf8("\xC3\x97"));  // ×
    m_close->setAutoRaise(true);
    m_close->setToolTip(QString::fromUtf8("关闭"));
    m_close->setStyleSheet(
        "QToolButton{color:white;background:rgba(0,0,0,96);border:none;"
        "font-size:16px;padding:0 6px;}");
    connect(m_close, &QToolButton::clicked, this, [onClose] { onClose(); });
    std::lock_guard<std::mutex> lock(m_shared->lock);
    m_shared->widget = this;
  }

  ~VideoWidget() override {
    std::lock_guard<std::mutex> lock(m_shared->lock);
    m_shared->widget = nullptr;
  }

  // Any thread, with Shared::lock held. Only the newest frame is kept; one repaint is queued
  // at a time, so a busy window thread never piles frames up.
  void Offer(QImage frame) {
    {
      std::lock_guard<std::mutex> lock(m_frameLock);
      m_frame = std::move(frame);
    }
    if (!m_repaintQueued.exchange(true))
      QMetaObject::invokeMethod(
          this,
          [this] {
            m_repaintQueued = false;
            update();
          },
          Qt::QueuedConnection);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QImage frame;
    {
      std::lock_guard<std::mutex> lock(m_frameLock);
      frame = m_frame;
    }
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (frame.isNull()) return;
    QSize size = frame.size().scaled(this->size(), Qt::KeepAspectRatio);
    QRect target(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    p.drawImage(target, frame);
  }

  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    m_close->adjustSize();
    m_close->move(width() - m_close->width() - 4, 4);
  }

 private:
  std::shared_ptr<Shared> m_shared;
  QToolButton* m_close = nullptr;
  std::mutex m_frameLock;
  QImage m_frame;
  std::atomic<bool> m_repaintQueued{false};
};

class PlayerControl : public IVideoPlayerControl {
 public:
  explicit PlayerControl(QWidget* parent)
      : m_shared(std::make_shared<Shared>()),
        m_ready(DecodersPresent() ? kReadyStateComplete : kReadyStateNoDecoders),
        m_version(DecoderVersion()) {
    m_widget = new VideoWidget(parent, m_shared, [this] { CloseClicked(); });
  }

  ~PlayerControl() override {
    std::vector<std::shared_ptr<PlaySession>> plays;
    {
      std::lock_guard<std::mutex> lock(m_playLock);
      plays = std::move(m_retired);
      if (m_current) plays.push_back(std::move(m_current));
    }
    // Outside m_playLock: a callback running now may still call CallFunction.
    for (auto& play : plays) {
      play->Cancel();
      play->Join();
    }
    delete m_widget.data();
  }

  QWidget* Widget() override { return m_widget.data(); }

  std::string CallFunction(const std::string& request) override {
    const auto t0 = PlaySession::Clock::now();
    const ParsedRequest parsed = ParseRequest(request);
    if (parsed.kind == RequestKind::Unknown) return "<undefined/>";
    std::shared_ptr<PlaySession> ended;
    // Ended plays are destroyed after the lock is let go (declared before it).
    std::vector<std::shared_ptr<PlaySession>> done;
    std::unique_lock<std::mutex> lock(m_playLock);
    ended = EndCurrent(&done);
    if (parsed.kind == RequestKind::Stop) {
      lock.unlock();
      if (ended) ended->Cancel();
      return "<string>ok</string>";
    }
    {
      // A new clip starts on a black picture, not on the last one's final frame.
      std::lock_guard<std::mutex> lock(m_shared->lock);
      if (m_shared->widget) m_shared->widget->Offer(QImage());
    }

    std::weak_ptr<Shared> weak = m_shared;
    auto sink = [weak](std::vector<uint8_t>&& rgb, int w, int h) {
      auto shared = weak.lock();
      if (!shared) return;
      QImage image(w, h, QImage::Format_RGB32);
      if (image.isNull()) return;
      for (int y = 0; y < h; ++y)
        std::memcpy(image.scanLine(y), rgb.data() + static_cast<size_t>(y) * w * 4,
                    static_cast<size_t>(w) * 4);
      std::lock_guard<std::mutex> lock(shared->lock);
      if (shared->widget) shared->widget->Offer(std::move(image));
    };
    auto finish = [weak](const std::string& text, const PlayStatistics& stats) {
      auto shared = weak.lock();
      if (!shared) return;
      Callback callback;
      {
        std::lock_guard<std::mutex> lock(shared->lock);
        shared->stats = stats;
        callback = shared->callback;
      }
      if (callback) callback(text);
    };
    if (m_ready != kReadyStateComplete) {
      // Without decoders a start still ends with its one text.
      m_current = std::make_shared<PlaySession>("", m_limits, t0, sink, finish);
      m_current->FailAtOnce("no decoder");
    } else {
      m_current = std::make_shared<PlaySession>(parsed.argument, m_limits, t0, sink, finish);
    }
    m_current->Start();
    lock.unlock();
    // Cancelled outside m_playLock: Cancel waits for a callback that is running, and that
    // callback may itself call CallFunction.
    if (ended) ended->Cancel();
    return "<string>ok</string>";
  }

  void SetCallback(Callback callback) override {
    std::lock_guard<std::mutex> lock(m_shared->lock);
    m_shared->callback = std::move(callback);
  }

  int ReadyState() const override { return m_ready; }
  long FlashVersion() const override { return m_version; }

  PlayStatistics Statistics() const override {
    std::lock_guard<std::mutex> lock(m_shared->lock);
    return m_shared->stats;
  }

  void SetLimitsForTest(const PlayerLimits& limits) override {
    std::lock_guard<std::mutex> lock(m_playLock);
    m_limits = limits;
  }

 private:
  // With m_playLock held: takes the current play out (the caller cancels it) and hands over
  // the plays that have ended since, for the caller to destroy once it has let go of the lock.
  std::shared_ptr<PlaySession> EndCurrent(std::vector<std::shared_ptr<PlaySession>>* done) {
    std::shared_ptr<PlaySession> ended = std::move(m_current);
    m_current.reset();
    for (auto it = m_retired.begin(); it != m_retired.end();) {
      if ((*it)->Finished()) {
        done->push_back(std::move(*it));
        it = m_retired.erase(it);
      } else {
        ++it;
      }
    }
    if (ended) m_retired.push_back(ended);
    return ended;
  }

  void CloseClicked() {
    std::lock_guard<std::mutex> lock(m_playLock);
    if (m_current && !m_current->Finished()) m_current->Quit();
  }

  std::shared_ptr<Shared> m_shared;
  QPointer<VideoWidget> m_widget;
  const int m_ready;
  const long m_version;
  std::mutex m_playLock;
  PlayerLimits m_limits;
  std::shared_ptr<PlaySession> m_current;
  std::vector<std::shared_ptr<PlaySession>> m_retired;
};

}  // namespace
}  // namespace videoplayer

extern "C" {

VIDEO_PLAYER_EXPORT int VideoPlayerInterfaceVersion() {
  return videoplayer::kVideoPlayerInterfaceVersion;
}

VIDEO_PLAYER_EXPORT videoplayer::IVideoPlayerControl* CreateVideoPlayerControl(QWidget* parent) {
  static std::once_flag curlReady;
  std::call_once(curlReady, [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    // Damaged and cut clips are part of the job; the decoders need not narrate them.
    av_log_set_level(AV_LOG_QUIET);
  });
  return new videoplayer::PlayerControl(parent);
}

VIDEO_PLAYER_EXPORT void DestroyVideoPlayerControl(videoplayer::IVideoPlayerControl* control) {
  delete control;
}
}
