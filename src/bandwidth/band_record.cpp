#include "bandwidth/band_record.h"

#include <cstdio>

#include "auto/local_mac.h"
#include "core/c_format.h"
#include "core/data_base.h"
#include "core/http_transport.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "core/record_file.h"
#include "history/history_record.h"
#include "history/sqlite_db.h"

namespace band {
namespace {

std::string Format(const char* format, double value) { return cformat::Format(format, value); }

}  // namespace

std::string RecordFileName(const std::string& recordTime) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (std::sscanf(recordTime.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute,
                  &second) != 6) {
    return {};
  }
  char name[64];
  std::snprintf(name, sizeof name, "Pccollect_band_%04d%02d%02d%02d.dat", year, month, day, hour);
  return name;
}

double EstimatedBandwidth(const BandResult& result) {
  return static_cast<double>(AverageRate(result.down) * 8);
}

bool AccountWritesRecords(int userType) { return userType < 5 || userType == 8; }

bool ResultComplete(const BandResult& result) {
  return result.down.size() >= kSamplesPerPhase && result.up.size() >= kSamplesPerPhase;
}

std::string RecordText(const BandResult& result, const UserInfo& user, const std::string& userId,
                       const std::string& realBandwidth, const std::string& recordTime) {
  std::string text;
  text += "+++start+++\n";
  text += "monitorid=" + result.monitorId + "\n";
  text += "upmaxspeed=" + MaxRateText(result.up) + "\n";
  text += "upavgspeed=" + Format("%.2f", AverageRate(result.up)) + "\n";
  text += "downmaxspeed=" + MaxRateText(result.down) + "\n";
  text += "downavgspeed=" + Format("%.2f", AverageRate(result.down)) + "\n";
  text += "bandwidth=" + Format("%.1f", EstimatedBandwidth(result)) + "\n";
  text += "realbandwidth=" + realBandwidth + "\n";
  text += "ip=" + user.address + "\n";
  // The city keeps the blank it had in the login reply, so this often holds two blanks.
  text += "location=" + user.province + " " + user.city + "\n";
  text += "userid=" + userId + "\n";
  text += "dtime=" + recordTime + "\n";
  text += result.automatic ? "testtype=0\n" : "testtype=1\n";
  text += "pingrtt=" + result.pingTime + "\ndownspeedjt=" + result.downJitter +
          "\nupspeedjt=" + result.upJitter + "\n";
  text += "---end---";
  return text;
}

std::string StatusText(const BandResult& result, const std::string& recordTime) {
  return cformat::Format("最近一次带宽测速结果：\n测速服务器：%s\n估算带宽：%.1fMb/s\n测速时间：%s",
                         result.serverName.c_str(), EstimatedBandwidth(result), recordTime.c_str());
}

std::string WriteBandRecordAt(const BandResult& result, const std::string& recordTime) {
  const std::string fileName = RecordFileName(recordTime);
  const UserInfo user = CDataBase::Instance().GetUserInfo();
  const std::string userId = conf::Read(conf::kUser, "userid");
  std::string adapterKey;
  GetLocalMac(adapterKey);
  const std::string realBandwidth = conf::Read(conf::kIpConfig, adapterKey);

  if (AccountWritesRecords(user.userType) && !fileName.empty()) {
    records::WriteRecordFile(fileName, RecordText(result, user, userId, realBandwidth, recordTime),
                             logs::kMain, "带宽测速");
  }

  HistoryRecordData row;
  row.SpeedTime = recordTime;
  row.sType = result.automatic ? history::kAutomatic : history::kManual;
  row.SpeedType = kSpeedType;
  row.sName = result.serverName;
  row.sQuota = Format("%.1fMb/s", EstimatedBandwidth(result));
  CSqliteDb db(history::CurrentDatabasePath());
  db.AddRecord(row);
  db.Close();

  if (result.automatic) CDataBase::Instance().SetLastResult(StatusText(result, recordTime));
  return fileName;
}

std::string WriteBandRecord(const BandResult& result) {
  return WriteBandRecordAt(result, GetServerTime(kTimeFormat));
}

}  // namespace band
