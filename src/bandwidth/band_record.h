#pragma once

#include <string>

#include "bandwidth/band_statistics.h"
#include "core/user_info.h"

// The bandwidth result record "Data\Pccollect_band_YYYYMMDDHH.dat", its history row and the
// status text of automatic runs.
namespace band {

inline constexpr const char* kSpeedType = "带宽测速";
inline constexpr const char* kTimeFormat = "%04d-%02d-%02d %02d:%02d:%02d";

// What one finished test leaves for its record.
struct BandResult {
  bool automatic = false;
  std::string serverName;
  std::string monitorId;
  Samples down;
  Samples up;
  std::string pingTime;    // "%.1f"
  std::string downJitter;  // "%f"
  std::string upJitter;    // "%f"
};

// "Pccollect_band_%04d%02d%02d%02d.dat" from a record time "YYYY-MM-DD hh:mm:ss"; empty when
// the time cannot be read.
std::string RecordFileName(const std::string& recordTime);

// Download average x 8: the estimated bandwidth in Mbit/s.
double EstimatedBandwidth(const BandResult& result);

// Accounts that may test automatically get a record file; accounts under audit do not.
bool AccountWritesRecords(int userType);

// The record's text (UTF-8; the file holds it in GBK), the last line without a line feed.
std::string RecordText(const BandResult& result, const UserInfo& user, const std::string& userId,
                       const std::string& realBandwidth, const std::string& recordTime);

// The tray's status text of an automatic run.
std::string StatusText(const BandResult& result, const std::string& recordTime);

// Writes the record file (when the account may), the history row and, for automatic runs, the
// status text, with `recordTime` as the record time. Returns the record's file name.
std::string WriteBandRecordAt(const BandResult& result, const std::string& recordTime);

// The same with the record time from the time server (the local clock when it fails).
std::string WriteBandRecord(const BandResult& result);

// Both phases produced their full count of samples: only then is a test written and sent.
bool ResultComplete(const BandResult& result);

}  // namespace band
