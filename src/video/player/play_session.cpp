#include "video/player/play_session.h"

#include <curl/curl.h>
#include <time.h>

#include <algorithm>
#include <cstring>

#include "video/player/media_decoder.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
}

namespace videoplayer {
namespace {

constexpr auto kWaitSlice = std::chrono::milliseconds(20);
constexpr int kPollMs = 50;
constexpr size_t kChunkBytes = 1 << 20;
// Bytes kept behind the demuxer's position when the buffer is full: containers step back a
// little (headers, interleaving), never far.
constexpr int64_t kKeepBehind = 4 << 20;
constexpr long kMaxRedirects = 5;

int64_t ThreadCpuNanoseconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

}  // namespace

// The demuxer's view of the bytes: seeks anywhere within what arrived, and waits for bytes
// ahead. While it waits after the first frame, a frame falling due makes a stall, and a stall
// lasts until one second of media ahead (or the end) is there.
class PlaySession::Source : public ByteSource {
 public:
  explicit Source(PlaySession& s) : m_s(s) {}

  int Read(uint8_t* buffer, int size) override {
    std::unique_lock<std::mutex> lock(m_s.m_lock);
    for (;;) {
      if (m_s.m_cancel || m_s.m_quit) return AVERROR_EXIT;
      if (m_pos < m_s.m_base) return AVERROR(EIO);
      int64_t need = m_pos + 1;
      if (m_s.m_stalled) {
        need = m_pos + m_s.m_oneSecondBytes;
        if (m_s.m_contentLength >= 0) need = std::min(need, m_s.m_contentLength);
      }
      const auto now = Clock::now();
      if (m_s.m_arrived >= need || m_s.m_transferDone) {
        if (m_s.m_stalled) {
          const double paused = std::chrono::duration<double>(now - m_s.m_stallStart).count();
          m_s.m_pausedSeconds += paused;
          m_s.m_stallSeconds += paused;
          m_s.m_stalled = false;
        }
        if (m_pos >= m_s.m_arrived) return AVERROR_EOF;
        return Copy(buffer, size);
      }
      if (!m_s.m_firstShown) {
        if (now - m_s.m_t0 >= std::chrono::milliseconds(m_s.m_limits.openTimeoutMs)) {
          m_s.m_openTimedOut = true;
          return AVERROR_EXIT;
        }
      } else {
        if (now - m_s.m_t0 >= std::chrono::milliseconds(m_s.m_limits.playLimitMs)) {
          m_s.m_limitReached = true;
          return AVERROR_EXIT;
        }
        if (!m_s.m_stalled && now >= m_s.m_nextDue) {
          m_s.m_stalled = true;
          m_s.m_stallStart = m_s.m_nextDue;
          ++m_s.m_stalls;
        }
        if (m_s.m_stalled &&
            now - m_s.m_stallStart >= std::chrono::milliseconds(m_s.m_limits.stallLimitMs)) {
          m_s.m_stallExceeded = true;
          return AVERROR_EXIT;
        }
      }
      m_s.m_changed.wait_for(lock, kWaitSlice);
    }
  }

  int64_t Seek(int64_t offset, int whence) override {
    std::lock_guard<std::mutex> lock(m_s.m_lock);
    whence &= ~AVSEEK_FORCE;
    const int64_t length = m_s.m_contentLength >= 0 ? m_s.m_contentLength
                           : m_s.m_transferDone     ? m_s.m_arrived
                                                    : -1;
    if (whence == AVSEEK_SIZE) return length;
    int64_t target = offset;
    if (whence == SEEK_CUR) target = m_pos + offset;
    if (whence == SEEK_END) {
      if (length < 0) return AVERROR(ENOSYS);
      target = length + offset;
    }
    if (target < m_s.m_base || (length >= 0 && target > length)) return AVERROR(EINVAL);
    m_pos = target;
    m_s.m_readPos = target;
    m_s.m_changed.notify_all();
    return target;
  }

 private:
  int Copy(uint8_t* buffer, int size) {
    int64_t offset = m_pos - m_s.m_base;
    int copied = 0;
    for (const std::string& chunk : m_s.m_chunks) {
      if (copied >= size) break;
      if (offset >= static_cast<int64_t>(chunk.size())) {
        offset -= static_cast<int64_t>(chunk.size());
        continue;
      }
      const size_t n =
          std::min(chunk.size() - static_cast<size_t>(offset), static_cast<size_t>(size - copied));
      std::memcpy(buffer + copied, chunk.data() + offset, n);
      copied += static_cast<int>(n);
      offset = 0;
    }
    m_pos += copied;
    m_s.m_readPos = m_pos;
    m_s.m_changed.notify_all();
    return copied;
  }

  PlaySession& m_s;
  int64_t m_pos = 0;
};

PlaySession::PlaySession(std::string url, PlayerLimits limits, Clock::time_point start,
                         FrameSink sink, Finish finish)
    : m_url(std::move(url)),
      m_limits(limits),
      m_t0(start),
      m_sink(std::move(sink)),
      m_finish(std::move(finish)) {}

PlaySession::~PlaySession() {
  Cancel();
  Join();
}

void PlaySession::Start() {
  if (!m_failAtOnce.empty()) {
    m_play = std::thread([this] {
      {
        std::lock_guard<std::recursive_mutex> lock(m_finishLock);
        PlayStatistics stats;
        stats.valid = true;
        stats.result = InvokeText("fail", m_failAtOnce);
        if (!m_cancel && m_finish) m_finish(stats.result, stats);
      }
      m_finished = true;
    });
    return;
  }
  m_transfer = std::thread([this] { TransferMain(); });
  m_play = std::thread([this] { PlayMain(); });
}

void PlaySession::Cancel() {
  {
    std::lock_guard<std::recursive_mutex> lock(m_finishLock);
    m_cancel = true;
  }
  m_stopTransfer = true;
  std::lock_guard<std::mutex> lock(m_lock);
  m_changed.notify_all();
}

void PlaySession::Quit() {
  m_quit = true;
  std::lock_guard<std::mutex> lock(m_lock);
  m_changed.notify_all();
}

void PlaySession::Join() {
  if (m_play.joinable() && m_play.get_id() != std::this_thread::get_id()) m_play.join();
  if (m_transfer.joinable()) {
    m_stopTransfer = true;
    m_transfer.join();
  }
}

double PlaySession::Seconds(Clock::time_point t) const {
  return std::chrono::duration<double>(t - m_t0).count();
}

void PlaySession::AddThreadCpu() { m_cpuNanoseconds += ThreadCpuNanoseconds(); }

size_t PlaySession::OnBody(const char* data, size_t size) {
  std::lock_guard<std::mutex> lock(m_lock);
  // Full: drop what lies well behind the demuxer; if that is not enough, pause the transfer
  // until the demuxer moves on.
  int64_t held = m_arrived - m_base;
  while (held + static_cast<int64_t>(size) > m_limits.bufferBytes && !m_chunks.empty() &&
         m_base + static_cast<int64_t>(m_chunks.front().size()) <= m_readPos - kKeepBehind) {
    m_base += static_cast<int64_t>(m_chunks.front().size());
    held -= static_cast<int64_t>(m_chunks.front().size());
    m_chunks.pop_front();
  }
  if (held > 0 && held + static_cast<int64_t>(size) > m_limits.bufferBytes) {
    m_transferPaused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  const auto now = Clock::now();
  if (!m_haveFirstByte) {
    m_haveFirstByte = true;
    m_firstByte = now;
  }
  m_lastByte = now;
  m_bins.Add(std::chrono::duration<double>(now - m_firstByte).count(), static_cast<int64_t>(size));
  size_t done = 0;
  while (done < size) {
    if (m_chunks.empty() || m_chunks.back().size() >= kChunkBytes) {
      m_chunks.emplace_back();
      m_chunks.back().reserve(kChunkBytes);
    }
    std::string& last = m_chunks.back();
    const size_t n = std::min(size - done, kChunkBytes - last.size());
    last.append(data + done, n);
    done += n;
  }
  m_arrived += static_cast<int64_t>(size);
  m_changed.notify_all();
  return size;
}

void PlaySession::TransferMain() {
  CURL* easy = curl_easy_init();
  CURLM* multi = curl_multi_init();
  CURLcode result = CURLE_FAILED_INIT;
  long status = 0;
  bool stoppedByUs = false;
  if (easy && multi) {
    curl_easy_setopt(easy, CURLOPT_URL, m_url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_limits.openTimeoutMs));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 8.0)");
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(
        easy, CURLOPT_WRITEFUNCTION,
        +[](char* data, size_t size, size_t count, void* self) -> size_t {
          return static_cast<PlaySession*>(self)->OnBody(data, size * count);
        });
    curl_multi_add_handle(multi, easy);
    int running = 1;
    bool contentLengthKnown = false;
    while (running && !m_stopTransfer) {
      if (curl_multi_perform(multi, &running) != CURLM_OK) break;
      if (!contentLengthKnown) {
        curl_off_t length = -1;
        bool haveBody = false;
        {
          std::lock_guard<std::mutex> lock(m_lock);
          haveBody = m_haveFirstByte;
        }
        if (haveBody || !running) {
          curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
          std::lock_guard<std::mutex> lock(m_lock);
          m_contentLength = length >= 0 ? static_cast<int64_t>(length) : -1;
          contentLengthKnown = true;
        }
      }
      if (!running) break;
      bool resume = false;
      {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_transferPaused &&
            (m_arrived - m_base < m_limits.bufferBytes / 2 ||
             m_base + (m_chunks.empty() ? 0 : static_cast<int64_t>(m_chunks.front().size())) <=
                 m_readPos - kKeepBehind)) {
          m_transferPaused = false;
          resume = true;
        }
      }
      if (resume) curl_easy_pause(easy, CURLPAUSE_CONT);
      curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
    }
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left))
      if (msg->msg == CURLMSG_DONE) result = msg->data.result;
    stoppedByUs = m_stopTransfer && running;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_multi_remove_handle(multi, easy);
  }
  if (easy) curl_easy_cleanup(easy);
  if (multi) curl_multi_cleanup(multi);
  {
    std::lock_guard<std::mutex> lock(m_lock);
    m_transferDone = true;
    m_transferStopped = stoppedByUs;
    m_transferOk =
        !stoppedByUs && result == CURLE_OK && (m_contentLength < 0 || m_arrived >= m_contentLength);
    if (result == CURLE_HTTP_RETURNED_ERROR)
      m_transferError = "status " + std::to_string(status);
    else if (result == CURLE_COULDNT_CONNECT || result == CURLE_COULDNT_RESOLVE_HOST ||
             result == CURLE_OPERATION_TIMEDOUT)
      m_transferError = "connect failed";
    else if (result == CURLE_UNSUPPORTED_PROTOCOL || result == CURLE_URL_MALFORMAT)
      m_transferError = "bad address";
    else if (!m_transferOk && !stoppedByUs)
      m_transferError = "transfer broken";
    m_changed.notify_all();
  }
  AddThreadCpu();
}

bool PlaySession::Interrupted() {
  if (m_cancel || m_quit) return true;
  std::lock_guard<std::mutex> lock(m_lock);
  const auto now = Clock::now();
  if (!m_firstShown && now - m_t0 >= std::chrono::milliseconds(m_limits.openTimeoutMs))
    m_openTimedOut = true;
  return m_openTimedOut || m_limitReached || m_stallExceeded;
}

void PlaySession::PlayMain() {
  Source source(*this);
  MediaDecoder decoder;
  std::string reason;
  const bool opened = decoder.Open(&source, &reason, [this] { return Interrupted(); });
  if (opened) {
    std::lock_guard<std::mutex> lock(m_lock);
    double rate = decoder.ByteRate();
    if (rate <= 0 && m_contentLength > 0 && decoder.Duration() > 0)
      rate = static_cast<double>(m_contentLength) / decoder.Duration();
    if (rate > 0) m_oneSecondBytes = std::max<int64_t>(1, static_cast<int64_t>(rate));
  }

  bool shown = false;
  Clock::time_point origin;  // wall time of media time 0, before pauses
  const double interval = decoder.FrameInterval();
  double lastDueSeconds = 0;
  int64_t framesShown = 0, framesLate = 0, framesDropped = 0;
  double mediaSeconds = 0;
  double loading = 0;
  bool reachedEnd = false;
  std::vector<uint8_t> rgb;

  auto waitUntil = [&](Clock::time_point due) {
    for (;;) {
      if (m_cancel || m_quit) return false;
      const auto now = Clock::now();
      if (now - m_t0 >= std::chrono::milliseconds(m_limits.playLimitMs)) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_limitReached = true;
        return false;
      }
      if (now >= due) return true;
      std::unique_lock<std::mutex> lock(m_lock);
      m_changed.wait_for(lock, std::min<Clock::duration>(due - now, kWaitSlice));
    }
  };

  if (opened) {
    VideoFrameInfo info;
    for (;;) {
      const MediaDecoder::Next next = decoder.NextFrame(&info);
      if (next != MediaDecoder::Next::Frame) {
        reachedEnd = next == MediaDecoder::Next::End;
        break;
      }
      const auto toDuration = [](double seconds) {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
      };
      Clock::time_point due;
      if (!shown) {
        origin = Clock::now() - toDuration(info.pts);
        due = Clock::now();
      } else {
        double paused;
        {
          std::lock_guard<std::mutex> lock(m_lock);
          paused = m_pausedSeconds;
        }
        due = origin + toDuration(info.pts + paused);
        // A frame decoded more than a frame's time after it was due is dropped, so that a busy
        // machine keeps the clip's pace instead of playing it slower.
        if (Clock::now() - due > toDuration(interval)) {
          ++framesDropped;
          mediaSeconds = info.pts;
          lastDueSeconds = Seconds(due);
          std::lock_guard<std::mutex> lock(m_lock);
          m_nextDue = due + toDuration(interval);
          continue;
        }
        if (!waitUntil(due)) break;
      }
      int w = 0, h = 0;
      if (!decoder.Convert(&rgb, &w, &h)) continue;
      const auto now = Clock::now();
      m_sink(std::move(rgb), w, h);
      rgb = {};
      if (!shown) {
        loading = Seconds(now);
        shown = true;
      } else if (now - due > toDuration(interval)) {
        ++framesLate;
      }
      ++framesShown;
      mediaSeconds = info.pts;
      lastDueSeconds = Seconds(due);
      std::lock_guard<std::mutex> lock(m_lock);
      m_firstShown = true;
      m_nextDue = due + toDuration(interval);
    }
  }
  // The last frame stays on screen for its own interval.
  if (shown && reachedEnd && !m_cancel && !m_quit) {
    waitUntil(m_t0 + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(lastDueSeconds + interval)));
    mediaSeconds += interval;
  }
  m_stopTransfer = true;
  if (m_transfer.joinable()) m_transfer.join();
  const double end = Seconds(Clock::now());

  PlayStatistics stats;
  PlayFigures figures;
  std::string text;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    stats.valid = true;
    stats.bytes = m_arrived;
    stats.contentLength = m_contentLength;
    // A transfer still running at the end of the play counts up to that end.
    const bool endedByItself = m_transferDone && !m_transferStopped && m_haveFirstByte;
    const double toLastByte = endedByItself ? Seconds(m_lastByte) : end;
    const double fromFirstByte = m_haveFirstByte ? toLastByte - Seconds(m_firstByte) : 0;
    figures.maxRate = m_bins.MaxRate(fromFirstByte);
    figures.loadingSeconds = loading;
    figures.totalBytes = m_contentLength >= 0 ? m_contentLength : m_arrived;
    figures.averageRate = toLastByte > 0 ? static_cast<double>(m_arrived) / toLastByte : 0;
    figures.loadedBytes = m_arrived;
    figures.totalSeconds = end;
    stats.maxSpeedKBps = figures.maxRate / 1024.0;
    stats.loadingSeconds = loading;
    stats.totalSeconds = end;
    stats.transferSeconds = toLastByte;
    stats.stalls = m_stalls;
    stats.stallSeconds = m_stallSeconds;
    if (m_stalled)
      stats.stallSeconds += std::chrono::duration<double>(Clock::now() - m_stallStart).count();
    stats.framesShown = framesShown;
    stats.framesLate = framesLate;
    stats.framesDropped = framesDropped;
    stats.mediaSeconds = mediaSeconds;
    stats.videoCodec = decoder.VideoCodec();
    stats.audioCodec = decoder.AudioCodec();

    if (m_quit && !m_cancel) {
      text = InvokeText("VideoSpeedChildQuit", "");
    } else if (!shown) {
      std::string why = reason;
      if (m_openTimedOut)
        why = "open timeout";
      else if (m_transferDone && !m_transferError.empty() && m_arrived == 0)
        why = m_transferError;
      else if (opened || why.empty())
        why = "no frame";
      text = InvokeText("fail", why);
    } else {
      // Shown to the end, or to the play limit: completed; a broken transfer or a stall past
      // its limit: not completed.
      const bool broken = m_transferDone && !m_transferStopped && !m_transferOk;
      figures.completed = !m_stallExceeded && (m_limitReached || !broken);
      text = InvokeText("VideoInfomation", ResultFields(figures));
    }
  }
  AddThreadCpu();
  stats.cpuSeconds = static_cast<double>(m_cpuNanoseconds.load()) / 1e9;
  stats.result = text;
  {
    std::lock_guard<std::recursive_mutex> lock(m_finishLock);
    if (!m_cancel && m_finish) m_finish(text, stats);
  }
  m_finished = true;
}

}  // namespace videoplayer
