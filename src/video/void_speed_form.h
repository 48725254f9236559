#pragma once

#include <QPointer>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/speed.h"
#include "ui/screen_page.h"

class CFlashForm;
class CListVoidElementUI;

// The video page ("video_speed.xml"): five site buttons play the configured sample page of a
// site, "Void_play_btn" plays a typed media address, and a video page can be converted into its
// media addresses and one of them played by a double click. It holds the player window
// ("FlashDialog"); until the player is ready, or when it cannot be made, it plays nothing.
class CVoidSpeedForm : public ui::CScreenPage, public IUpdateUI {
  Q_OBJECT

 public:
  static constexpr const char* kPageClass = "Void_Speed";
  static constexpr const char* kLayout = "video_speed.xml";
  // Site code of a typed or listed address: played as it is.
  static constexpr int kPlayAsGiven = 100;
  // Where the player window stands in the page: its place while it plays.
  static constexpr int kPlayerX = 23;
  static constexpr int kPlayerY = 140;

  // Builds the page from its layout; nullptr when the skin lacks it.
  static CVoidSpeedForm* Build(QWidget* parent = nullptr);
  ~CVoidSpeedForm() override;

  // The one page of the program, while it exists.
  static CVoidSpeedForm* Instance();

  void OnMainWindowInit() override;
  void OnLogin() override;
  std::shared_ptr<std::atomic<ui::PlayerState>> PlayerStateHandle() override { return m_state; }

  // Makes the player window once; the player's state is known when it returns.
  void CreatePlayer();
  CFlashForm* Player() const;
  bool PlayerReady() const { return m_playerReady; }
  // Reads the sample pages of module 3 of the user's settings file.
  void LoadSampleMap();
  const std::map<std::string, std::string>& SampleMap() const { return m_samples; }

  // What the buttons do (the same as a press; ignored while a test runs or a page resolves).
  void PressButton(const QString& name);
  // Starts the play worker: a site's sample page (resolved) or, with kPlayAsGiven, `address`.
  void Play(int siteCode, const std::string& address);
  // Resolves the page of "Void_Convert_Edit" on a worker and lists its media addresses.
  void Convert();
  bool Resolving() const { return m_resolving; }
  // Lists addresses as a conversion does, the first one selected.
  void AddRows(const std::vector<std::string>& addresses);
  std::vector<CListVoidElementUI*> Rows() const;
  void ClearRows();

  // The player's ready state (1 once its control is ready); other events are not for this page.
  void PlayerReady(int value) override;

 protected:
  explicit CVoidSpeedForm(QWidget* parent);
  void Notify(ui::TNotifyUI& msg) override;

 private:
  void FindControls();
  void PlayResolved(const std::string& address);

  QPointer<QWidget> m_switch, m_list, m_playEdit, m_convertEdit;
  QPointer<CFlashForm> m_flash;
  bool m_playerReady = false;
  bool m_resolving = false;
  std::shared_ptr<std::atomic<ui::PlayerState>> m_state =
      std::make_shared<std::atomic<ui::PlayerState>>(ui::PlayerState::Pending);
  std::map<std::string, std::string> m_samples;
};
