#pragma once

#include <vector>

#include "ui/screen_page.h"

// The tests page ("Handle_Speed.xml"): the four test screens in the tab layout "switchchild",
// chosen by the options "NetWorkSpeed", "WebSpeed", "VoideSpeed" and "FileDwonSpeed".
class CHandleSpeedForm : public ui::CScreenPage {
  Q_OBJECT

 public:
  explicit CHandleSpeedForm(QWidget* parent = nullptr);
  bool Create();

  // The test screens built from the layout, in page order (absent ones left out).
  std::vector<ui::CScreenPage*> Screens() const;
  int CurrentPage() const;

  void OnMainWindowInit() override;
  void OnLogin() override;
  void OnShown() override;
  void HideEmbedded() override;
  void SetAlternateLook(bool alternate) override;
  std::shared_ptr<std::atomic<ui::PlayerState>> PlayerStateHandle() override;

  static constexpr const char* kOptions[4] = {"NetWorkSpeed", "WebSpeed", "VoideSpeed",
                                              "FileDwonSpeed"};

 protected:
  QWidget* CreateControl(const QString& className, QWidget* parent) override;
  void Notify(ui::TNotifyUI& msg) override;

 private:
  void Select(int page);
  void CheckOption(int page);
  static int OptionIndex(const QString& name);
};
