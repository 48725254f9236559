#pragma once

// One play: a transfer thread streams the address into memory with libcurl while a play
// thread demuxes and decodes from what has arrived, hands frames over at the clip's pace and
// measures. The play ends with exactly one text for the engine, unless it is cancelled.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "video/player/play_text.h"
#include "video/player/video_player.h"

namespace videoplayer {

class PlaySession {
 public:
  using Clock = std::chrono::steady_clock;
  // Frames in 32-bit RGB, `width` * 4 bytes a line. Called on the play thread.
  using FrameSink = std::function<void(std::vector<uint8_t>&& rgb, int width, int height)>;
  // The play's one text and its figures. Called on the play thread, never after Cancel returned.
  using Finish = std::function<void(const std::string& text, const PlayStatistics& stats)>;

  PlaySession(std::string url, PlayerLimits limits, Clock::time_point start, FrameSink sink,
              Finish finish);
  ~PlaySession();  // joins
  PlaySession(const PlaySession&) = delete;
  PlaySession& operator=(const PlaySession&) = delete;

  // Ends the play with "fail" and this reason as soon as it starts, without a transfer.
  void FailAtOnce(std::string reason) { m_failAtOnce = std::move(reason); }
  void Start();
  // Ends the play silently. Once this returns, Finish is not called (unless it is this very
  // thread's Finish that is running, which then completes).
  void Cancel();
  // Ends the play with "VideoSpeedChildQuit".
  void Quit();
  // Both threads have ended (Join will not wait).
  bool Finished() const { return m_finished.load(); }
  void Join();

 private:
  class Source;
  friend class Source;

  void TransferMain();
  void PlayMain();
  size_t OnBody(const char* data, size_t size);
  bool Interrupted();
  double Seconds(Clock::time_point t) const;
  void AddThreadCpu();

  const std::string m_url;
  const PlayerLimits m_limits;
  const Clock::time_point m_t0;
  FrameSink m_sink;
  Finish m_finish;
  std::string m_failAtOnce;

  std::thread m_transfer;
  std::thread m_play;
  std::atomic<bool> m_cancel{false};
  std::atomic<bool> m_quit{false};
  std::atomic<bool> m_stopTransfer{false};
  std::atomic<bool> m_finished{false};
  std::atomic<int64_t> m_cpuNanoseconds{0};
  std::recursive_mutex m_finishLock;  // Cancel against the delivery of the text

  // Shared between the two threads, under m_lock.
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::deque<std::string> m_chunks;  // received bytes from m_base on
  int64_t m_base = 0;
  int64_t m_arrived = 0;  // body bytes received in all
  int64_t m_readPos = 0;  // the demuxer's position
  int64_t m_contentLength = -1;
  bool m_transferDone = false;
  bool m_transferOk = false;
  bool m_transferStopped = false;  // ended by the play, not by the server
  bool m_transferPaused = false;
  std::string m_transferError;
  bool m_haveFirstByte = false;
  Clock::time_point m_firstByte;
  Clock::time_point m_lastByte;
  SecondBins m_bins;

  // Play thread state (read by the source under m_lock where the transfer is involved).
  bool m_firstShown = false;
  Clock::time_point m_nextDue;
  double m_pausedSeconds = 0;
  bool m_stalled = false;
  Clock::time_point m_stallStart;
  int m_stalls = 0;
  double m_stallSeconds = 0;
  int64_t m_oneSecondBytes = 64 * 1024;
  bool m_openTimedOut = false;
  bool m_limitReached = false;
  bool m_stallExceeded = false;
};

}  // namespace videoplayer
