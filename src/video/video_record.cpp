#include "video/video_record.h"

#include <cstdio>
#include <cstdlib>

#include "core/data_base.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "core/record_file.h"
#include "history/history_record.h"
#include "platform/codepage.h"

namespace video {
namespace {

constexpr SiteEntry kSites[] = {
    {"ku6", "3", "酷6"},   {"letv", "4", "乐视"},  {"youku", "1", "优酷"},  {"tudou", "2", "土豆"},
    {"sina", "5", "新浪"}, {"sohu", "10", "搜狐"}, {"ifeng", "12", "凤凰"},
};
constexpr SiteEntry kOtherSite = {"", "0", "其他"};

constexpr const char* kStringOpen = "<string>";
constexpr const char* kStringClose = "</string>";

std::string Request(const char* name, std::string_view argument) {
  return std::string("<invoke name=\"") + name + "\" returntype=\"xml\"><arguments><string>" +
         EscapeXmlText(argument) + "</string></arguments></invoke>";
}

// The leading decimal number of a field, as the run-time library reads it (0 when none).
long long LeadingNumber(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

bool AccountWritesRecords(int userType) { return userType < 5 || userType == 8; }

}  // namespace

SiteEntry SiteEntryOf(std::string_view url) {
  for (const SiteEntry& site : kSites)
    if (url.find(site.word) != std::string_view::npos) return site;
  return kOtherSite;
}

std::string EscapeXmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string ManualStartRequest(std::string_view address) {
  return Request("videoStartPaly", address);
}

std::string AutomaticStartRequest(std::string_view address) {
  return Request("autoVideoStartPaly", address);
}

std::string StopRequest(std::string_view url) { return Request("videoStopPaly", url); }

std::vector<std::string> InfoFields(std::string_view request) {
  std::vector<std::string> fields;
  const size_t name = request.find("VideoInfomation");
  if (name == std::string_view::npos) return fields;
  const size_t open = request.find(kStringOpen, name);
  if (open == std::string_view::npos) return fields;
  const size_t from = open + std::char_traits<char>::length(kStringOpen);
  const size_t close = request.find(kStringClose, from);
  if (close == std::string_view::npos) return fields;
  const std::string_view text = request.substr(from, close - from);
  size_t start = 0;
  while (start <= text.size()) {
    size_t hash = text.find('#', start);
    if (hash == std::string_view::npos) hash = text.size();
    if (hash > start) fields.emplace_back(text.substr(start, hash - start));
    start = hash + 1;
  }
  return fields;
}

const std::string& VideoResult::Field(int number) const {
  static const std::string kEmpty;
  if (number < 1 || number > static_cast<int>(fields.size())) return kEmpty;
  return fields[static_cast<size_t>(number - 1)];
}

int IfCompleted(const VideoResult& result) {
  return LeadingNumber(result.Field(5)) >= LeadingNumber(result.Field(3)) - 1 ? 1 : 0;
}

std::string RecordFileName(const std::tm& t) {
  char name[64];
  std::snprintf(name, sizeof name, "Pccollect_videospeed_%04d%02d%02d%02d.dat", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour);
  return name;
}

std::string RecordTime(const std::tm& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

std::string RecordText(const VideoResult& result, const UserInfo& user, const std::string& userId,
                       const std::string& recordTime) {
  // Every line after the first: seven tabs and a blank before the key.
  const std::string indent = "\t\t\t\t\t\t\t ";
  auto line = [&](const char* key, const std::string& value) {
    return indent + key + "=" + value + "\r\n";
  };
  std::string text = "+++start+++\r\n";
  text += line("url", result.url);
  text += line("mediatype", SiteEntryOf(result.url).mediatype);
  text += line("totalsize", result.Field(3));
  text += line("totaltime", result.Field(6));
  text += line("loadsize", result.Field(5));
  text += line("loadingtime", result.Field(2));
  text += line("speed", result.Field(4));
  text += line("ifcompleted", std::to_string(IfCompleted(result)));
  text += line("ip", user.address);
  text += line("location", user.province + " " + user.city);
  text += line("userid", userId);
  text += line("dtime", recordTime);
  text += line("testtype", result.automatic ? "0" : "1");
  text += line("MAXSPEED", result.Field(1));
  text += line("checktype", std::to_string(result.automatic ? result.checktype : 0));
  text += indent + "---end---\r\n";
  return text;
}

std::string SummaryText(const VideoResult& result, const std::string& recordTime) {
  return "最近一次视频测速结果:\n视频地址:\n" + codepage::CutToChars(result.url, 50) +
         "平均速率:" + result.Field(4) + " KB/s\n测速时间:" + recordTime;
}

std::string WriteVideoRecordAt(const VideoResult& result, const std::tm& localTime,
                               int invalidReason) {
  const std::string fileName = RecordFileName(localTime);
  const std::string recordTime = RecordTime(localTime);
  const UserInfo user = CDataBase::Instance().GetUserInfo();
  const std::string userId = conf::Read(conf::kUser, "userid");

  if (AccountWritesRecords(user.userType) && records::LineSafe(result.url)) {
    records::WriteRecordFile(fileName, RecordText(result, user, userId, recordTime), logs::kFlash,
                             "视频测速");
  }

  if (result.automatic) CDataBase::Instance().SetLastResult(SummaryText(result, recordTime));
  AddHistoryRecord(recordTime, kSpeedType, SiteEntryOf(result.url).name, result.Field(4) + " KB/s",
                   result.automatic ? history::kAutomatic : history::kManual, false, invalidReason);
  return fileName;
}

std::string WriteVideoRecord(const VideoResult& result, int invalidReason) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return WriteVideoRecordAt(result, local, invalidReason);
}

}  // namespace video
