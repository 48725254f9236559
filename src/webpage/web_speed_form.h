#pragma once

#include <QPointer>

#include "core/speed.h"
#include "ui/screen_page.h"
#include "webpage/web_speed.h"

// The web page test page ("Web_Speed.xml"): site buttons on two pages of "SwitchWeb", an
// address, start and stop. A started test shows the engine's browser window over the site
// buttons; the first-screen time comes up in a notice window.
class CWebSpeedForm : public ui::CScreenPage, public IUpdateUI {
  Q_OBJECT

 public:
  static constexpr const char* kPageClass = "Web_Speed";
  static constexpr const char* kLayout = "Web_Speed.xml";
  static constexpr const char* kNoticeName = "FirstSForm";
  static constexpr const char* kWarningWindow = "Warning Dialog";
  // The browser window over the site buttons, and out of sight.
  static constexpr QPoint kShownAt{1, 160};
  static constexpr QPoint kHiddenAt{1, 10000};
  static constexpr QPoint kCreatedAt{200, 300};
  static constexpr QPoint kNoticeAt{170, 275};
  static constexpr QPoint kWarningAt{180, 300};
  // The named site buttons of sites 0 to 8; sites 10 to 30 are "Web_btn%d".
  static constexpr const char* kSiteButtons[9] = {
      "Web_BiduNews_btn", "Web_QQ_btn",     "Web_sina_btn", "Web_youku_btn", "Web_sohu_btn",
      "Web_163_btn",      "Web_taobao_btn", "Web_jd_btn",   "Web_tudou_btn"};

  // Builds the page from its layout; nullptr when the skin lacks it.
  static CWebSpeedForm* Build(QWidget* parent = nullptr);
  ~CWebSpeedForm() override;
  // The one page of the program, while it exists.
  static CWebSpeedForm* Instance();
  // The engine the automatic scheduler runs (on the window thread, through message 1176);
  // nullptr before the main window has made it.
  static CWebSpeed* SchedulerEngine();

  void OnMainWindowInit() override;
  void OnShown() override;
  void HideEmbedded() override;

  // Creates the engine once, as a child window of `owner` (the main window), and makes this
  // page its listener.
  CWebSpeed* CreateEngine(QWidget* owner);
  CWebSpeed* Engine() const { return m_engine; }
  bool PageShown() const { return m_pageShown; }
  // The site number of a button name, -1 for none.
  static int SiteNumber(const QString& name);

  void NotifyWeb(const WebEvent& event) override;

 protected:
  explicit CWebSpeedForm(QWidget* parent);
  void Notify(ui::TNotifyUI& msg) override;

 private:
  void Start(const QString& address);
  QWidget* Owner() const;

  QPointer<QWidget> m_switch;
  QPointer<QWidget> m_address;
  QPointer<CWebSpeed> m_engine;
  bool m_pageShown = false;
};
