#pragma once

#include <QPointer>
#include <QString>
#include <memory>
#include <string>

#include "core/speed.h"
#include "ui/screen_page.h"

class CDashboardUI;
class CNetWorkSpeed;
class QTimer;

// The result bar and the level name of a finished test, as pure numbers.
namespace bandresult {

inline constexpr const char* kNoData = "无数据";
inline constexpr int kBarLimit = 491;  // the bar never passes this
inline constexpr int kBarStep = 3;

// The bar position of a download bandwidth text ("12.3M"): its leading number on the
// piecewise scale, truncated; 0 for "无数据" or a text without a leading number.
int RatePosition(const std::string& text);
// The level name of a bar position; empty at 0 or below.
QString SpeedLevelName(int position);
// The last value the bar steps to (0, 3, 6, ... below the position, not above 491); -1 when
// it does not move.
int LastBarValue(int position);
// The fixed width of the spacer that places the level name along the bar.
int SpacerWidth(int position);

}  // namespace bandresult

// The bandwidth test screen ("NetWork.xml"): where the user is and which contracted bandwidth
// applies, the start button, the gauge, and the results with their bar and level. It listens
// to the bandwidth engine, whose events arrive on the engine's threads and are handed to the
// window thread.
class CNetWorkForm : public ui::CScreenPage {
  Q_OBJECT

 public:
  explicit CNetWorkForm(QWidget* parent = nullptr);
  ~CNetWorkForm() override;

  // Set-up after a login: the engine, the lists and the listener.
  void OnLogin() override;
  void SetAlternateLook(bool alternate) override;

  CNetWorkSpeed* Engine() const { return m_engine.get(); }
  CDashboardUI* Gauge() const { return m_gauge; }
  int Position() const { return m_position; }
  bool ResultAnimating() const;
  // The listener the engine reports to. It may outlive the screen (a worker still holding it
  // gets -1 for questions and its notices are dropped).
  IUpdateUI* Listener() const;
  std::shared_ptr<IUpdateUI> ListenerHandle() const;

  // Intervals of the result animation: a bar step and the pause before the level shows.
  static int BarStepInterval();
  static int LevelPause();
  static void SetResultIntervalsForTest(int barStepMs, int pauseMs);  // 0, 0 restores

  // Engine events, on the window thread.
  void OnEngineEvent(const UpdateEvent& event);
  int OnEngineQuestion(const UpdateEvent& event);

  static constexpr int kDialogX = 180;
  static constexpr int kDialogY = 300;

 protected:
  QWidget* CreateControl(const QString& className, QWidget* parent) override;
  void Notify(ui::TNotifyUI& msg) override;

 private:
  class Relay;

  CNetWorkSpeed& EnsureEngine();
  void StartTest();
  void ProvinceSelected(int index, bool byUser);
  void OperatorSelected(int index);
  void BandwidthSelected(int index);
  void FollowPickedPlace();
  void StartResultAnimation();
  void BarStep();
  void ShowLevel();
  void TestOver();

  std::shared_ptr<Relay> m_relay;
  std::unique_ptr<CNetWorkSpeed> m_engine;
  CDashboardUI* m_gauge = nullptr;
  int m_position = 0;
  int m_barValue = 0;
  bool m_filling = false;
  QTimer* m_barTimer = nullptr;
  QTimer* m_levelTimer = nullptr;
};
