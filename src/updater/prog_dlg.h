#pragma once

#include <functional>
#include <thread>
#include <vector>

#include "updater/skin_dialog.h"
#include "updater/update_job.h"

class QProgressBar;
class CSkinBtn;
class CStaticEx;

// The progress window of an interactive update: its worker thread downloads the files and the
// window shows how many are done. The dialog's result is 0 when every file matched, else 1.
class CProgDlg : public CSkinDialog {
  Q_OBJECT
 public:
  CProgDlg(std::vector<updater::UpdateFileEntry> files, updater::FileFetcher& fetcher,
           QWidget* parent = nullptr);
  ~CProgDlg() override;

  // Called after the user cancels or closes the window; by default it ends the process at
  // once, download or not.
  std::function<void()> onAbandon;

  static constexpr int kWidth = 391;
  static constexpr int kHeight = 151;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Abandon();
  void Work();
  void ShowDone(int done);

  std::vector<updater::UpdateFileEntry> m_files;
  updater::FileFetcher& m_fetcher;
  std::thread m_worker;
  CStaticEx* m_title;
  CSkinBtn* m_min;
  CSkinBtn* m_close;
  CSkinBtn* m_cancel;
  QProgressBar* m_progress;
  CStaticEx* m_totalLabel;
  CStaticEx* m_percent;
};
