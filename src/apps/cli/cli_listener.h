#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "core/speed.h"

// The command-line client's listener of the bandwidth engine: a progress line for the live
// rate, the phase results as they come, and the questions answered on the terminal.
class CliBandListener : public IUpdateUI {
 public:
  // `answer` is asked for the 1003 question when `assumeYes` is false; it returns true for yes.
  CliBandListener(bool assumeYes, bool showProgress,
                  std::function<bool(const std::string&)> answer);

  int Ask(const UpdateEvent& event) override;
  void Notify(const UpdateEvent& event) override;

  bool Finished() const;
  int FailureCode() const;
  std::string FailureMessage() const;
  UpdateEvent FinalEvent() const;

 private:
  void ClearProgress();

  bool m_assumeYes;
  bool m_showProgress;
  std::function<bool(const std::string&)> m_answer;
  mutable std::mutex m_lock;
  bool m_finished = false;
  int m_failureCode = 0;
  std::string m_failureMessage;
  UpdateEvent m_final;
  int m_phase = 0;  // 0 download, 1 upload
  int m_samples = 0;
  bool m_progressShown = false;
};
