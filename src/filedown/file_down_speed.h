#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "auto/settings_files.h"
#include "core/http_get.h"
#include "core/speed.h"
#include "filedown/file_record.h"

// The file download engine's event record.
struct DownloadEvent {
  std::string total;    // KB, "%.2f" or "--"
  std::string connect;  // s
  std::string loaded;   // KB
  int64_t lastSecondBytes = 0;
  std::string loadTime;  // s
  std::string speed;     // KB/s
  std::string message;
  int code = 0;
};

namespace filedown {
inline constexpr const char* kNoNetworkMessage = "网络异常，请检查网络后重试！";
inline constexpr const char* kRefusedMessage = "获取文件大小失败，文件不能被下载！";
}  // namespace filedown

// The file download test engine: fetches one large file over a single connection while a
// sampler reports the byte counter once a second, then writes the record and hands it to the
// upload. Manual runs work on a worker of their own; automatic ones on the caller, silently.
class CFileDownSpeed : public virtual CSpeed {
 public:
  CFileDownSpeed() = default;
  ~CFileDownSpeed() override;
  CFileDownSpeed(const CFileDownSpeed&) = delete;
  CFileDownSpeed& operator=(const CFileDownSpeed&) = delete;

  // A manual run of `item` (its address is the file's).
  bool RunTest(const settings::ModuleItem& item);

  int StartAuto(int first, int second, int checktype) override;
  bool StartManual() override;
  std::string WriteRecord() override;
  void WriteAndUpload() override;

  bool Running() const { return m_busy.load(); }
  void WaitUntilIdle();

  // The last run's values and the bytes of each sample sent (they add up to the counter).
  filedown::FileResult LastResult() const;
  std::vector<int64_t> SampleBytes() const;
  std::string LastRecordName() const;
  std::string LastPackageName() const;

  static constexpr int kFetchTimeoutSeconds = 30;
  static constexpr int kSampleIntervalMs = 1000;
  // Test hooks: a shorter fetch time-out and sample interval (0 restores the defaults), and
  // the network check's verdict (-1 asks the system).
  static void SetTimingsForTest(int fetchTimeoutSeconds, int sampleIntervalMs);
  static void SetNetworkAliveForTest(int alive);

 private:
  void RunManual();
  void Sampler();
  DownloadEvent Sample();
  // Fetches the stored item; fills the result's sizes and times.
  bool FetchItem(bool showProgress);
  void ClearSample(bool automatic);
  void Warn(int code, const char* message);
  void Send(const DownloadEvent& event);
  bool NetworkAliveFor(const std::string& url) const;

  mutable std::mutex m_lock;  // guards the fields below up to the worker
  filedown::FileResult m_result;
  std::vector<int64_t> m_samples;
  std::string m_recordName;
  std::string m_packageName;
  int64_t m_previous = 0;  // counter at the last sample

  FetchWatch m_watch;
  std::atomic<bool> m_running{false};  // the fetch is under way; the sampler runs meanwhile
  std::atomic<int64_t> m_loadMs{0};
  std::mutex m_sampleWaitLock;
  std::condition_variable m_sampleWake;

  std::thread m_worker;
  std::atomic<bool> m_busy{false};
  std::mutex m_workerLock;
};
