#pragma once

#include <QWidget>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/speed.h"
#include "ui/window.h"
#include "video/player/player_loader.h"
#include "video/video_record.h"

// The "flashUI" control: the player's control from the program folder's library, or a blank
// control (ready state 0, version 0) when the library cannot be loaded.
class CFlashUI : public QWidget {
  Q_OBJECT

 public:
  static constexpr const char* kUnavailableText = "视频插件不可用，不能视频测速";

  explicit CFlashUI(QWidget* parent = nullptr);
  ~CFlashUI() override;

  bool HasPlayer() const { return m_control != nullptr; }
  const std::string& LoadError() const { return m_error; }
  // The player's calls; a blank control answers nothing and sends nothing.
  std::string CallFunction(const std::string& request);
  void SetCallback(videoplayer::IVideoPlayerControl::Callback callback);
  int ReadyState() const;
  long FlashVersion() const;
  videoplayer::PlayStatistics Statistics() const;
  void SetLimitsForTest(const videoplayer::PlayerLimits& limits);
  // Stops any play and lets the player go; the control is blank afterwards.
  void Release();

  // Test hook: load the library from another path (empty restores the program folder's).
  static void SetLibraryPathForTest(const std::string& path);

 private:
  videoplayer::ControlHandle m_control;
  std::string m_error;
};

// The video test engine ("Flash_Form.xml"): hands the player a media address, hears its result
// and writes the record, the history row and, for automatic runs, the tray's summary. The
// player's texts come back on the player's threads and are handled on the window thread.
class CFlashForm : public ui::CWindowWnd, public CSpeed {
  Q_OBJECT

 public:
  static constexpr const char* kLayout = "Flash_Form.xml";
  static constexpr const char* kWindowClass = "FlashForm";
  static constexpr const char* kTipText = "falsh 插件版本太低或未安装！不能视频测速！";
  // The longest an automatic start waits for its play's end; the player ends every play well
  // within it (open time-out, play limit and the stalls between).
  static constexpr int kAutoPlayBoundMs = 600000;

  explicit CFlashForm(QWidget* parent = nullptr);
  ~CFlashForm() override;

  // Builds the window from its layout (the player is loaded then) and initialises it.
  bool Create(const QString& windowName = "FlashDialog");
  // What "windowinit" does: the callback, the version check and its tip. Runs once.
  void Initialise();

  // The engine of the window that initialised last, while it exists.
  static CFlashForm* Instance();

  bool HasPlayer() const;
  int ReadyState() const;
  long FlashVersion() const;
  videoplayer::PlayStatistics Statistics() const;
  CFlashUI* Flash() const { return m_flash; }

  // A manual test of `url` on a worker.
  void RunManual(const std::string& url);
  int StartAuto(int first, int second, int checktype) override;
  bool StartManual() override;
  std::string WriteRecord() override;
  void WriteAndUpload() override;
  bool TestEnded() const override { return !m_playing.load(); }

  // The player's close button: the window moves out of sight and the play stops.
  void StopVideo();
  // A text from the player, on the window thread.
  void OnFlashCall(const std::string& request);

  // The fields of the last result call, the address under test, the page of automatic runs.
  std::vector<std::string> InfoFields() const;
  std::string Url() const;
  std::string Page() const;
  int CheckType() const { return m_checktype.load(); }
  // The last record written (empty when none).
  std::string LastRecordName() const;
  // The last text the player sent, and how many plays have ended since the window was made.
  std::string LastCall() const;
  int PlaysEnded() const { return m_playsEnded.load(); }
  // Waits until the last record's packing and upload start have been handed off.
  bool WaitForHandOff(std::chrono::milliseconds bound);

  // Test hooks: the network check's verdict (-1 asks the system), the automatic wait's bound.
  static void SetNetworkAliveForTest(int alive);
  static void SetAutoPlayBoundForTest(int ms);

 protected:
  QWidget* CreateControl(const QString& className, QWidget* parent) override;
  void Notify(ui::TNotifyUI& msg) override;

 private:
  // Sends a request to the player; false when there is no player.
  bool Send(const std::string& request);
  void EndPlay();
  void JoinWorkers();

  CFlashUI* m_flash = nullptr;
  bool m_initialised = false;

  std::atomic<int> m_checktype{0};
  mutable std::mutex m_lock;  // guards the texts below
  std::vector<std::string> m_info;
  std::string m_url;
  std::string m_page;
  std::string m_recordName;
  std::string m_lastCall;

  // The player may be called from the scheduler's worker while the window thread lets it go.
  mutable std::mutex m_controlLock;

  // A start was sent and its play has not ended yet.
  std::atomic<bool> m_playing{false};
  std::atomic<int> m_playsEnded{0};
  std::mutex m_playLock;
  std::condition_variable m_playEnded;

  std::mutex m_workerLock;
  std::thread m_manualWorker;
  std::thread m_uploadWorker;
  std::atomic<bool> m_handingOff{false};
};
