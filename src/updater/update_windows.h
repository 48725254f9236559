#pragma once

#include <memory>

#include "updater/update_job.h"

class QApplication;

// The windows of the Update program. The application object is made when the first window
// is needed, so that the log-off hand-over and quiet background passes never open a display;
// without a display the windows go offscreen.
class CUpdateWindows : public updater::UpdateUi {
 public:
  CUpdateWindows(int& argc, char** argv, const updater::UpdateTiming& timing);
  ~CUpdateWindows() override;

  int FetchWithProgress(const std::vector<updater::UpdateFileEntry>& files,
                        updater::FileFetcher& fetcher) override;
  void ShowRestartCountdown() override;
  void ShowRestartFailed() override;

 private:
  void EnsureApplication();

  int& m_argc;
  char** m_argv;
  updater::UpdateTiming m_timing;
  std::unique_ptr<QApplication> m_app;
};
