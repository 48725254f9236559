#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "core/user_info.h"

// The file download result record "Data\Pccollect_filedown_YYYYMMDDHH.dat", its history row and
// the last-result text of automatic runs, and the texts of the one-second samples.
namespace filedown {

inline constexpr const char* kSpeedType = "文件下载";
inline constexpr int64_t kMinTotalSize = 1000000;  // accepted files are larger than this

// What one finished fetch leaves for its record.
struct FileResult {
  bool automatic = false;
  int checktype = 0;
  int itemId = 0;
  std::string name;
  std::string url;
  int64_t totalSize = 0;  // bytes announced
  int64_t counter = 0;    // bytes received
  int64_t connectMs = 0;
  int64_t loadMs = 0;
};

// The screen's texts of one sample ("%.2f" or "--").
struct SampleTexts {
  std::string total;     // KB
  std::string connect;   // s
  std::string loaded;    // KB
  std::string loadTime;  // s
  std::string speed;     // KB/s
};
SampleTexts MakeSampleTexts(int64_t totalSize, int64_t connectMs, bool counterKnown,
                            int64_t counter, int64_t loadMs);

// The record's values: "%.2f" each, "0" when the base value is 0.
std::string TotalSizeText(const FileResult& result);     // MB
std::string DownloadSizeText(const FileResult& result);  // MB
std::string SpeedText(const FileResult& result);         // KB/s
std::string ConnectTimeText(const FileResult& result);   // s
std::string LoadingTimeText(const FileResult& result);   // s

std::string RecordFileName(const std::tm& localTime);
std::string RecordTime(const std::tm& localTime);

// The record's text (UTF-8; the file holds it in GBK), the last line without a line feed.
std::string RecordText(const FileResult& result, const UserInfo& user, const std::string& userId,
                       const std::string& recordTime);

// The tray's last-result text of an automatic run.
std::string SummaryText(const FileResult& result, const std::string& recordTime);

// Writes the record file (approved accounts only), the history row and, for automatic runs, the
// last-result text, at the given local time. Returns the record's file name.
std::string WriteFileRecordAt(const FileResult& result, const std::tm& localTime,
                              int invalidReason = 0);
// The same at the local clock's time.
std::string WriteFileRecord(const FileResult& result, int invalidReason = 0);

}  // namespace filedown
