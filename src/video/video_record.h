#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "core/user_info.h"

// The video test's result record "Data\Pccollect_videospeed_YYYYMMDDHH.dat", its history row and
// the last-result text of automatic runs; the texts exchanged with the player.
namespace video {

inline constexpr const char* kSpeedType = "视频测速";
// A result is exactly this many "#"-separated fields.
inline constexpr int kInfoFieldCount = 7;

// The site an address names (first word found, in the record's order), its record code and the
// name the history shows. Addresses of no known site are "0" and "其他".
struct SiteEntry {
  const char* word;
  const char* mediatype;
  const char* name;
};
SiteEntry SiteEntryOf(std::string_view url);

// The three calls into the player. The address is escaped as XML text, so an "&" in a query
// cannot break the request.
std::string EscapeXmlText(std::string_view text);
std::string ManualStartRequest(std::string_view address);
std::string AutomaticStartRequest(std::string_view address);
std::string StopRequest(std::string_view url);

// The player's result call: the text between the first "<string>" after "VideoInfomation" and
// the next "</string>", split at "#" with empty fields dropped. Empty when the call has no such
// text.
std::vector<std::string> InfoFields(std::string_view request);

// One finished play as the record needs it.
struct VideoResult {
  bool automatic = false;
  int checktype = 0;
  std::string url;
  std::vector<std::string> fields;  // the seven result fields, in the player's order

  const std::string& Field(int number) const;  // 1-based; empty when absent
};

// 1 when the size loaded (field 5) is at least the total size (field 3) minus 1.
int IfCompleted(const VideoResult& result);

std::string RecordFileName(const std::tm& localTime);
std::string RecordTime(const std::tm& localTime);

// The record's text (UTF-8; the file holds it in GBK), tab-indented lines ending in CR LF.
std::string RecordText(const VideoResult& result, const UserInfo& user, const std::string& userId,
                       const std::string& recordTime);

// The tray's last-result text of an automatic run (the address cut to 50 characters).
std::string SummaryText(const VideoResult& result, const std::string& recordTime);

// Writes the record file (approved accounts only), the history row and, for automatic runs, the
// last-result text, at the given local time. Returns the record's file name.
std::string WriteVideoRecordAt(const VideoResult& result, const std::tm& localTime,
                               int invalidReason = 0);
std::string WriteVideoRecord(const VideoResult& result, int invalidReason = 0);

}  // namespace video
