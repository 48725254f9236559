#pragma once

#include <ctime>
#include <string>

#include "core/user_info.h"

// The web page result record "Data\Pccollect_screen_YYYYMMDDHH.dat", its history row and the
// last-result text of automatic runs; the address rules of the web page test.
namespace webpage {

inline constexpr const char* kSpeedType = "网页测速";
inline constexpr const char* kUnreachableMessage = "网络连接失败，请检查网络后重试！";
// The first-screen time is capped here; a capped test leaves no record.
inline constexpr double kCapSeconds = 10.0;

// What one finished test leaves for its record.
struct WebResult {
  bool automatic = false;
  int checktype = 0;
  std::string url;        // as given, without the cache-busting suffix
  float firstScreen = 0;  // seconds
};

// "%.3f" whatever the process locale.
std::string Seconds3(double seconds);
// "首屏时间:%.3fs"
std::string FirstScreenText(double seconds);

std::string RecordFileName(const std::tm& localTime);
std::string RecordTime(const std::tm& localTime);
// The record's text (UTF-8; the file holds it in GBK), the last line without a line feed.
std::string RecordText(const WebResult& result, const UserInfo& user, const std::string& userId,
                       const std::string& recordTime);
std::string SummaryText(const WebResult& result, const std::string& recordTime);

// Writes the record file (approved accounts only), the last-result text of automatic runs and
// the history row, at the given local time. Returns the record's file name.
std::string WriteWebRecordAt(const WebResult& result, const std::tm& localTime,
                             int invalidReason = 0);
std::string WriteWebRecord(const WebResult& result, int invalidReason = 0);

// The cache-busting suffix "?Y%m%d%H%M%S" (no year).
std::string CacheSuffix(const std::tm& localTime);

// The screen's check of a typed address: a search for the address pattern from its start.
bool AddressLooksValid(const std::string& text);

// The address the browser is given: http and https only, a bare host gets "http://"; empty for
// anything else (another scheme, a control character, nothing).
std::string BrowserAddress(const std::string& text);

// The forced connection check: a TCP connection to the address's host and port within
// `timeoutMs`.
bool CanConnect(const std::string& address, int timeoutMs);

// The home page of a site of the screen's table from "Config\websites.xml"; empty when absent.
std::string SiteAddress(int number);

}  // namespace webpage
