#pragma once

#include <QPointer>
#include <QTimer>
#include <QWebEngineView>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "core/speed.h"
#include "ui/layout_widget.h"
#include "webpage/web_record.h"
class QWebEngineProfile;
class QWebEngineLoadingInfo;
class CWebBrowserPage;

// The web page engine's event record.
struct WebEvent {
  std::string text;
  std::string detail;
  int value = 0;
  std::string message;
  int code = 0;
};

// The web page test engine: a small window ("WebBrowser.xml") holding the browser
// "Web_WebBrowser". It loads one address with the cache bypassed and takes the time from the
// navigation's start to the main frame's load as the first-screen time, capped at 10 s. All of
// its work runs on the window thread; records are written on a worker.
class CWebSpeed : public ui::CLayoutWidget, public virtual CSpeed {
  Q_OBJECT

 public:
  static constexpr const char* kWindowClass = "WebForm";
  static constexpr const char* kWindowName = "WebBrowserDialog";
  static constexpr const char* kLayout = "WebBrowser.xml";
  static constexpr const char* kBrowserName = "Web_WebBrowser";
  static constexpr int kPollMs = 50;
  static constexpr int kCheckTimeoutMs = 5000;

  // How a test ended.
  enum class Outcome { Completed, Capped, Failed, Unreachable, Stopped };

  // A child window of `parent` (the main window) at `at`; a window of its own without one.
  explicit CWebSpeed(QWidget* parent = nullptr);
  ~CWebSpeed() override;
  // Builds the window from its layout; false when the skin lacks it (the engine then has no
  // browser and every start fails).
  bool Create(QPoint at = QPoint(200, 300));

  // Called by the screen: mode 0 manual, 1 automatic.
  void RunTest(const std::string& url, int mode);
  void StopTest();

  int StartAuto(int first, int second, int checktype) override;
  bool StartManual() override;
  std::string WriteRecord() override;
  void WriteAndUpload() override;
  bool TestEnded() const override { return !m_inFlight.load(); }

  // Empties the shown document without a navigation.
  void BlankPage();
  void MoveWindow(int x, int y);

  QWebEngineView* Browser() const { return m_browser; }
  bool Running() const { return m_running; }
  webpage::WebResult LastResult() const;
  Outcome LastOutcome() const { return m_outcome; }
  std::string LastRecordName() const;
  // The address the browser was last given, suffix included.
  std::string LastNavigated() const { return m_navigated; }
  // The last test's record is still being written (its worker runs).
  bool RecordPending() const { return m_writing.load(); }
  // Waits for the record writer of the last test (not on the window thread during a test).
  void WaitForWriter();

  // Told on the window thread when a test ends (after its record, when one is written).
  void SetEndHandler(std::function<void(Outcome, const webpage::WebResult&)> handler) {
    m_endHandler = std::move(handler);
  }
  // The shown document's first contentful paint and load event end, ms from its navigation
  // start (-1 when absent), given on the window thread.
  void QueryTimeline(std::function<void(double fcpMs, double loadEventMs)> done);

  // Test hooks: the cap (0 restores 10 s), the connection check's and the network's verdicts
  // (-1 asks the system).
  static void SetCapForTest(int ms);
  static void SetReachableForTest(int reachable);
  static void SetNetworkAliveForTest(int alive);

  // Browser events, from the page.
  bool OnNavigationRequest(const QUrl& url, bool redirect, bool mainFrame);
  void OnLoadingChanged(const QWebEngineLoadingInfo& info);

 protected:
  QWidget* CreateControl(const QString& className, QWidget* parent) override;
  void Notify(ui::TNotifyUI& msg) override;

 private:
  bool StartTest(const std::string& address);
  void Poll();
  void ClearCache();
  void Finish(Outcome outcome);
  void Send(const WebEvent& event);
  void EndTest(Outcome outcome, const webpage::WebResult& result, bool write);
  double Elapsed() const;
  void WriteOnWorker(const webpage::WebResult& result, Outcome outcome);

  QPointer<QWebEngineView> m_browser;
  CWebBrowserPage* m_page = nullptr;
  QWebEngineProfile* m_profile = nullptr;
  QTimer m_poll;
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_cleared{};
  int m_navigation = 0;
  static constexpr std::chrono::milliseconds kClearSettle{400};
  bool m_running = false;
  bool m_complete = false;
  bool m_failed = false;
  bool m_sawStart = false;
  Outcome m_outcome = Outcome::Stopped;
  std::string m_url;
  std::string m_navigated;
  int m_checktype = 0;
  std::shared_ptr<std::atomic<int>> m_checkGeneration;
  std::function<void(Outcome, const webpage::WebResult&)> m_endHandler;

  mutable std::mutex m_lock;  // guards the result and the record name (the writer reads them)
  webpage::WebResult m_result;
  std::string m_recordName;
  std::atomic<bool> m_inFlight{false};
  std::atomic<bool> m_writing{false};
  std::thread m_writer;
};

namespace webpage {
// Before the application object exists: an offscreen platform for programs without a display
// (`offscreenDefault`), and the browser's sandbox off when run as root (it refuses to start
// otherwise). Returns a line for the log when the sandbox was turned off, else empty.
std::string PrepareBrowserEnvironment(bool offscreenDefault);
}  // namespace webpage
