#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "ui/dialog_builder.h"
#include "ui/screen_page.h"
#include "ui/window.h"

class QVBoxLayout;

// One row of a list of the user's own targets ("Seting_Item.xml"): two entries side by side,
// each a check box and a delete button, with a separator between them.
class CHorizontalLayoutListUI : public QWidget {
  Q_OBJECT

 public:
  // Builds the row with `builder` (which keeps the layout text between rows).
  static CHorizontalLayoutListUI* Build(ui::CDialogBuilder& builder, QWidget* parent);

  QWidget* Check(int column) const { return column == 0 ? m_first : m_second; }
  QWidget* Delete(int column) const { return column == 0 ? m_firstDelete : m_secondDelete; }
  QWidget* Delimiter() const { return m_delimiter; }

  // Fills one entry: the name as text, the check from `selected`, the item id as tag and the
  // list kind ("2_tasks", "4_tasks") as user data. The second entry is hidden until filled.
  void SetEntry(int column, int id, const QString& name, bool selected, const QString& kind);
  void HideSecond();

 private:
  explicit CHorizontalLayoutListUI(QWidget* parent) : QWidget(parent) {}
  QPointer<QWidget> m_first, m_second, m_firstDelete, m_secondDelete, m_delimiter;
};

// The add dialog of the settings page ("Seting_Add.xml", class "UtilityForm"): a name and an
// address for module 2 (web pages) or 4 (files), checked and appended to the task file.
// Closes with 1 once the item is stored, 2 when the user gives up.
class CUtilityWnd : public ui::CWindowWnd {
  Q_OBJECT

 public:
  CUtilityWnd(std::string taskFile, int moduleId, QWidget* parent = nullptr);
  bool Create();

  // What the OK button finds wrong with an entry: the message for the error label and the
  // edit to focus (0 name, 1 address); empty when the entry may be stored.
  static QString CheckEntry(int moduleId, const std::string& name, const std::string& address,
                            int* focus = nullptr);
  // Whether the address matches the address pattern as a whole. A text the matcher gives up on
  // (it throws past its complexity bound) does not match.
  static bool IsValidAddress(const std::string& address);

  static constexpr const char* kWindowName = "UtilityForm";
  static constexpr const char* kSaveFailed = "保存失败";

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnCloseRequest() override { Close(2); }

 private:
  void Accept();

  std::string m_taskFile;
  int m_module;
};

// The settings page ("Seting.xml"): start-up options, which tests and targets take part in
// automatic testing, the user's own targets, and the update, user page, help and about
// buttons. Everything shown is read back from the files after each change, so a write that
// could not be made never shows as done.
class CSetingForm : public ui::CScreenPage {
  Q_OBJECT

 public:
  static constexpr const char* kPageClass = "Seting_Speed";
  static constexpr const char* kLayout = "Seting.xml";
  static constexpr const char* kItemLayout = "Seting_Item.xml";
  static constexpr int kRowHeight = 24;
  static constexpr int kItemsPerLine = 4;
  static constexpr int kItemLineHeight = 26;

  // Builds the page from its layout; nullptr when the skin lacks it.
  static CSetingForm* Build(QWidget* parent = nullptr);
  ~CSetingForm() override;
  static CSetingForm* Instance();

  // After a login: the template is refreshed and the user's settings prepared on a worker;
  // the page is filled once that is done (FillDone() tells when).
  void OnLogin() override;
  bool FillDone() const { return m_fillDone; }
  // Fills every box from the files as they are now.
  void Fill();

  // The two lists of the user's targets rebuilt from the task file (module 2 or 4).
  void RebuildTargets(int moduleId);
  std::vector<CHorizontalLayoutListUI*> Rows(int moduleId) const;
  // Entries placed in a list (two per row).
  int TargetCount(int moduleId) const;

  // The scroll position each navigation button goes to.
  int ScrollTarget(const QString& button) const;
  int AutoSectionHeight() const;

  // Opens the add dialog for module 2 or 4; the page's controls are disabled meanwhile.
  void OpenAddDialog(int moduleId);

  // Every control under the page's root is disabled (the four module boxes excepted;
  // containers are walked into), and later given back the state it had.
  void DisableControls(bool alsoAutoSection);
  void RestoreControls();
  bool ControlsDisabled() const { return !m_saved.empty(); }

  // The manual update check. The check itself runs on a worker.
  struct UpdateCheckResult {
    enum Outcome { Failed, UpToDate, NewVersion };
    Outcome outcome = Failed;
    std::string notes;  // the manifest's notes, or the error text reading them
  };
  using UpdateChecker = std::function<UpdateCheckResult()>;
  using UpdaterStarter = std::function<bool()>;
  void CheckForUpdate();
  bool UpdateCheckRunning() const { return m_checking; }
  // Replaceable parts (tests): the check, and what OK in the update window starts.
  void SetUpdateChecker(UpdateChecker check) { m_check = std::move(check); }
  void SetUpdaterStarter(UpdaterStarter start) { m_startUpdater = std::move(start); }
  // Opens the local help; xdg-open unless replaced.
  void SetPageOpener(std::function<bool(const std::string&)> open) { m_open = std::move(open); }

  static constexpr const char* kUpToDate = "已经是最新版本！";
  static constexpr const char* kNoServer = "无法与服务器通信,请检查网络！";
  static constexpr const char* kCaption = "提示";

 protected:
  explicit CSetingForm(QWidget* parent);
  void Notify(ui::TNotifyUI& msg) override;

 private:
  struct TargetList {
    QPointer<QWidget> container;
    std::vector<QPointer<CHorizontalLayoutListUI>> rows;
    int count = 0;
  };
  struct SavedState {
    QPointer<QWidget> widget;
    bool disabled;
  };

  void FindControls();
  void FillModules();
  void FillItems(int moduleId, const char* gridName, const char* checkFormat);
  void FillOptions();
  void FitHeights();
  TargetList* List(int moduleId);
  void OnCheckClick(QWidget* box);
  void OnDelete(QWidget* button);
  void ScrollTo(int y);
  void FinishUpdateCheck(const UpdateCheckResult& result);
  void RunWindow(const std::function<void()>& show, bool alsoAutoSection = false);
  static int ModuleOfContainer(const QString& name);
  QWidget* ContainerOfModule(int moduleId) const;

  ui::CDialogBuilder m_rowBuilder;
  TargetList m_web, m_files;
  QPointer<QWidget> m_auto, m_scroll;
  std::vector<SavedState> m_saved;
  UpdateChecker m_check;
  UpdaterStarter m_startUpdater;
  std::function<bool(const std::string&)> m_open;
  bool m_fillDone = false;
  bool m_checking = false;
};
