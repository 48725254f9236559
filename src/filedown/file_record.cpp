#include "filedown/file_record.h"

#include <charconv>
#include <cstdio>

#include "core/data_base.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "core/record_file.h"
#include "history/history_record.h"

namespace filedown {
namespace {

// "%.2f" whatever locale the process has set: the records are read by machines.
std::string Fixed2(double value) {
  char text[64];
  auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  if (error != std::errc()) return "0";
  return std::string(text, end);
}

std::string ValueOrZero(double value) { return value == 0 ? std::string("0") : Fixed2(value); }

bool AccountWritesRecords(int userType) { return userType < 5 || userType == 8; }

}  // namespace

SampleTexts MakeSampleTexts(int64_t totalSize, int64_t connectMs, bool counterKnown,
                            int64_t counter, int64_t loadMs) {
  SampleTexts texts;
  texts.total = totalSize == 0 ? "--" : Fixed2(static_cast<double>(totalSize) / 1024);
  texts.connect = Fixed2(static_cast<double>(connectMs) / 1000);
  texts.loaded = counterKnown ? Fixed2(static_cast<double>(counter) / 1024) : "--";
  texts.loadTime = "--";
  texts.speed = "--";
  if (loadMs != 0) {
    const float seconds = static_cast<float>(loadMs) / 1000.0f;
    texts.loadTime = Fixed2(seconds);
    const float speed = (static_cast<float>(counter) / 1024.0f) / seconds;
    if (speed > 0) texts.speed = Fixed2(speed);
  }
  return texts;
}

std::string TotalSizeText(const FileResult& r) {
  return ValueOrZero(static_cast<double>(r.totalSize) / 1024 / 1024);
}

std::string DownloadSizeText(const FileResult& r) {
  return ValueOrZero(static_cast<double>(r.counter) / 1024 / 1024);
}

std::string SpeedText(const FileResult& r) {
  if (r.loadMs == 0) return "0";
  const double speed =
      (static_cast<double>(r.counter) / 1024) / (static_cast<double>(r.loadMs) / 1000);
  return speed > 0 ? Fixed2(speed) : "0";
}

std::string ConnectTimeText(const FileResult& r) {
  return ValueOrZero(static_cast<double>(r.connectMs) / 1000);
}

std::string LoadingTimeText(const FileResult& r) {
  return ValueOrZero(static_cast<double>(r.loadMs) / 1000);
}

std::string RecordFileName(const std::tm& t) {
  char name[64];
  std::snprintf(name, sizeof name, "Pccollect_filedown_%04d%02d%02d%02d.dat", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour);
  return name;
}

std::string RecordTime(const std::tm& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

std::string RecordText(const FileResult& result, const UserInfo& user, const std::string& userId,
                       const std::string& recordTime) {
  std::string text;
  text += "+++start+++\n";
  text += "url=" + result.url + "\n";
  text += "website=" + std::to_string(result.itemId) + "\n";
  text += "totalsize=" + TotalSizeText(result) + "\n";
  text += "downloadsize=" + DownloadSizeText(result) + "\n";
  text += "speed=" + SpeedText(result) + "\n";
  text += "connecttime=" + ConnectTimeText(result) + "\n";
  text += "loadingtime=" + LoadingTimeText(result) + "\n";
  text += "ip=" + user.address + "\n";
  text += "location=" + user.province + " " + user.city + "\n";
  text += "userid=" + userId + "\n";
  text += "dtime=" + recordTime + "\n";
  text += result.automatic ? "testtype=0\n" : "testtype=1\n";
  text += "checktype=" + std::to_string(result.checktype) + "\n";
  text += "---end---";
  return text;
}

std::string SummaryText(const FileResult& result, const std::string& recordTime) {
  return "最近一次文件下载结果：\n文件类型：" + result.name + "\n平均速率：" + SpeedText(result) +
         " KB/s\n 测速时间：" + recordTime;
}

std::string WriteFileRecordAt(const FileResult& result, const std::tm& localTime,
                              int invalidReason) {
  const std::string fileName = RecordFileName(localTime);
  const std::string recordTime = RecordTime(localTime);
  const UserInfo user = CDataBase::Instance().GetUserInfo();
  const std::string userId = conf::Read(conf::kUser, "userid");

  if (AccountWritesRecords(user.userType) && records::LineSafe(result.url)) {
    records::WriteRecordFile(fileName, RecordText(result, user, userId, recordTime), logs::kMain,
                             "下载测速");
  }

  if (result.automatic) CDataBase::Instance().SetLastResult(SummaryText(result, recordTime));
  AddHistoryRecord(recordTime, kSpeedType, result.name, SpeedText(result) + " KB/s",
                   result.automatic ? history::kAutomatic : history::kManual, false, invalidReason);
  return fileName;
}

std::string WriteFileRecord(const FileResult& result, int invalidReason) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return WriteFileRecordAt(result, local, invalidReason);
}

}  // namespace filedown
