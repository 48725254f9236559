#include "apps/cli/cli_listener.h"

#include <cstdio>

CliBandListener::CliBandListener(bool assumeYes, bool showProgress,
                                 std::function<bool(const std::string&)> answer)
    : m_assumeYes(assumeYes), m_showProgress(showProgress), m_answer(std::move(answer)) {}

void CliBandListener::ClearProgress() {
  if (m_progressShown) {
    std::fprintf(stderr, "\r%-72s\r", "");
    m_progressShown = false;
  }
}

int CliBandListener::Ask(const UpdateEvent& event) {
  std::lock_guard<std::mutex> guard(m_lock);
  ClearProgress();
  if (event.code == speedcode::kServerMismatchQuestion) {
    bool yes = m_assumeYes;
    if (!yes && m_answer) yes = m_answer(event.message);
    if (!yes) {
      m_failureCode = event.code;
      m_failureMessage = event.message;
    }
    return yes ? 1 : 0;
  }
  m_failureCode = event.code;
  m_failureMessage = event.message;
  return 1;
}

void CliBandListener::Notify(const UpdateEvent& event) {
  std::lock_guard<std::mutex> guard(m_lock);
  switch (event.code) {
    case speedcode::kLiveRate: {
      if (event.value == 0 && m_samples >= 15) break;  // the phase's closing zero
      ++m_samples;
      if (!m_showProgress) break;
      const int filled = m_samples > 15 ? 15 : m_samples;
      std::string bar(static_cast<size_t>(filled), '#');
      bar.resize(15, '.');
      std::fprintf(stderr, "\r%s [%s] %2d/15  %10.1f kbit/s", m_phase == 0 ? "下载" : "上传",
                   bar.c_str(), m_samples, event.value);
      std::fflush(stderr);
      m_progressShown = true;
      break;
    }
    case speedcode::kDownloadResult:
      ClearProgress();
      std::fprintf(stderr, "下载完成: 平均 %s MB/s, 带宽 %s\n", event.downAverage.c_str(),
                   event.downRate.c_str());
      m_phase = 1;
      m_samples = 0;
      break;
    case speedcode::kUploadResult:
      ClearProgress();
      std::fprintf(stderr, "上传完成: 平均 %s MB/s, 带宽 %s\n", event.upAverage.c_str(),
                   event.upRate.c_str());
      break;
    case speedcode::kFinished:
      ClearProgress();
      m_finished = true;
      m_final = event;
      break;
    default:
      break;
  }
}

bool CliBandListener::Finished() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_finished;
}

int CliBandListener::FailureCode() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_failureCode;
}

std::string CliBandListener::FailureMessage() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_failureMessage;
}

UpdateEvent CliBandListener::FinalEvent() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_final;
}
