#pragma once

#include <atomic>
#include <string>

// The common face of the test engines (bandwidth, web page, video, file download) and of the
// listeners (screens, the command-line client) they report to.

// Event codes shared by the engines and their listeners.
namespace speedcode {
inline constexpr int kNetworkFailure = 1001;
inline constexpr int kNoServerMatched = 1002;
inline constexpr int kServerMismatchQuestion = 1003;
inline constexpr int kServerBusy = 1004;
inline constexpr int kSlotRequestFailed = 1005;
inline constexpr int kDownloadFailed = 1007;
inline constexpr int kUploadFailed = 1008;
inline constexpr int kFinished = 1009;
inline constexpr int kOneSecondSample = 1010;
inline constexpr int kFileRefused = 1011;
inline constexpr int kDownloadResult = 2000;
inline constexpr int kUploadResult = 2001;
inline constexpr int kLiveRate = 2002;
}  // namespace speedcode

// Module ids of the test kinds (settings, scheduler).
namespace speedmodule {
inline constexpr int kBandwidth = 1;
inline constexpr int kWebPage = 2;
inline constexpr int kVideo = 3;
inline constexpr int kFileDownload = 4;
}  // namespace speedmodule

// The bandwidth engine's event record.
struct UpdateEvent {
  std::string upAverage;    // "%.2f", MiB/s
  std::string upRate;       // "%.1fM", Mbit/s
  std::string downAverage;  // "%.2f", MiB/s
  std::string downRate;     // "%.1fM", Mbit/s
  double value = 0;         // live rate, kbit/s
  std::string message;
  int code = 0;
};

// The web page and file download engines define their own records.
struct WebEvent;
struct DownloadEvent;

// What a screen (or any other front-end) implements to hear from its engine. Engines call it
// from their worker threads; a windowed listener marshals to its window thread itself.
class IUpdateUI {
 public:
  virtual ~IUpdateUI() = default;

  // 1. A warning or a question that needs the user (codes 1001-1008). Returns the answer of
  //    the window shown (1 = yes for the question), or -1 when nothing was shown.
  virtual int Ask(const UpdateEvent& event) {
    (void)event;
    return -1;
  }
  //    The file download engine's warnings (1001, 1011) come through here too.
  virtual int Ask(const DownloadEvent& event) {
    (void)event;
    return -1;
  }
  // 2. Live rates, phase results and the end of a bandwidth test (2000-2002, 1009).
  virtual void Notify(const UpdateEvent& event) { (void)event; }
  // 3. Web page engine events.
  virtual void NotifyWeb(const WebEvent& event) { (void)event; }
  // 4. File download engine events.
  virtual void NotifyDownload(const DownloadEvent& event) { (void)event; }
  // 5. The video player's ready state.
  virtual void PlayerReady(int value) { (void)value; }
};

// The test engine interface, held by the scheduler as a list of pointers.
class CSpeed {
 public:
  virtual ~CSpeed() = default;

  // 1. first: retry of a run the test server held back; second: 1 from the scheduler;
  //    checktype: 1 when the environment check failed. Returns 0 failed or not started,
  //    1 try again later, 2 started or done.
  virtual int StartAuto(int first, int second, int checktype) = 0;
  // 2. Starts a manual test on a worker; false when none was started.
  virtual bool StartManual() = 0;
  // 3. Writes the result record and the history row; gives the record file's name.
  virtual std::string WriteRecord() = 0;
  // 4. Writes, then hands the record to packaging and upload.
  virtual void WriteAndUpload() = 0;
  // 5. Gives up a test held for a retry.
  virtual void AbandonTest() {}
  // 6. False while a test this engine started is still running (the scheduler waits for it
  //    before the next kind starts). Engines whose start returns at the test's end keep this.
  virtual bool TestEnded() const { return true; }

  void SetListener(IUpdateUI* listener) { m_listener.store(listener); }
  IUpdateUI* Listener() const { return m_listener.load(); }

  // Environment verdict of the current automatic run: 0 valid, 1-6 the reasons.
  std::atomic<int> InvalidReason{0};

  // 0 manual, 1 automatic. Automatic runs set it themselves; front-ends clear it, and the
  // quiet flag, before a manual run.
  std::atomic<int> mode{0};
  // When set, no live-rate events are sent (automatic runs).
  std::atomic<bool> quiet{false};

 protected:
  std::atomic<IUpdateUI*> m_listener{nullptr};
};
