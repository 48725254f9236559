#pragma once

#include <QPointer>
#include <memory>
#include <vector>

#include "auto/settings_files.h"
#include "core/speed.h"
#include "filedown/file_down_speed.h"
#include "ui/screen_page.h"

class CTeeChartUI;

// The file download page ("FileDown_Speed.xml"): pick a file type or type an address, start a
// manual download test, watch five results and the live rate chart. The engine reports from its
// workers; every change to the page is posted to the window thread.
class CFileDownUI : public ui::CScreenPage, public IUpdateUI {
  Q_OBJECT

 public:
  // The class name the main window's layout gives this page.
  static constexpr const char* kPageClass = "FileDown_Speed";
  static constexpr const char* kLayout = "FileDown_Speed.xml";
  static constexpr const char* kWarningWindow = "Warning Dialog";

  // Builds the page from its layout; nullptr when the skin lacks it.
  static CFileDownUI* Build(QWidget* parent = nullptr);
  ~CFileDownUI() override;

  // The one page of the program, while it exists.
  static CFileDownUI* Instance();

  void OnMainWindowInit() override;
  void OnLogin() override;
  void SetAlternateLook(bool alternate) override;

  // Creates the engine once and makes this page its listener.
  CFileDownSpeed* Engine();
  // Fills the file types from module 4 of the user's settings file.
  void FillFileTypes();
  // What a press of the start button does.
  void Start();
  // The item a start tests: the module 4 item of that exact address, else "其他" with id 0.
  settings::ModuleItem ItemFor(const std::string& address) const;

  CTeeChartUI* Chart() const { return m_chart; }
  // The owner of the warnings (the main window; the page's own window when it stands alone).
  void SetWarningOwner(QWidget* owner) { m_warningOwner = owner; }

  // Engine events, from any thread: they are posted to the window thread.
  int Ask(const DownloadEvent& event) override;
  void NotifyDownload(const DownloadEvent& event) override;
  // On the window thread: the modal warning of a refused file or a missing network, and the
  // event's changes to the page.
  void NotifyWarning(const QString& message);
  void NotifyEvent(const DownloadEvent& event);

 protected:
  explicit CFileDownUI(QWidget* parent);
  QWidget* CreateControl(const QString& className, QWidget* parent) override;
  void Notify(ui::TNotifyUI& msg) override;

 private:
  void FindControls();
  void SetLabels(const DownloadEvent& event);
  void ClearLabels();

  QPointer<QWidget> m_button;
  QPointer<QWidget> m_downloaded, m_total, m_connect, m_loadTime, m_speed;
  QPointer<QWidget> m_types;
  QPointer<QWidget> m_address;
  QPointer<QWidget> m_warningOwner;
  CTeeChartUI* m_chart = nullptr;
  std::vector<settings::ModuleItem> m_items;
  // The engine with the listener its workers call; it may outlive the page by a running test.
  struct EngineHolder;
  std::unique_ptr<EngineHolder> m_holder;
};
