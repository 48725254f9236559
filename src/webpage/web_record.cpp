#include "webpage/web_record.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <boost/regex.hpp>
#include <charconv>
#include <chrono>
#include <cstdio>

#include "core/data_base.h"
#include "core/http_transport.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "core/record_file.h"
#include "history/history_record.h"
#include "markup/markup_document.h"
#include "platform/paths.h"
#include "platform/program_folder.h"

namespace webpage {
namespace {

bool AccountWritesRecords(int userType) { return userType < 5 || userType == 8; }

bool HasControlCharacter(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) return true;
  return false;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string Seconds3(double seconds) {
  char text[64];
  auto [end, error] = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 3);
  if (error != std::errc()) return "0.000";
  return std::string(text, end);
}

std::string FirstScreenText(double seconds) { return "首屏时间:" + Seconds3(seconds) + "s"; }

std::string RecordFileName(const std::tm& t) {
  char name[64];
  std::snprintf(name, sizeof name, "Pccollect_screen_%04d%02d%02d%02d.dat", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour);
  return name;
}

std::string RecordTime(const std::tm& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

std::string CacheSuffix(const std::tm& t) {
  char text[32];
  std::snprintf(text, sizeof text, "?Y%02d%02d%02d%02d%02d", t.tm_mon + 1, t.tm_mday, t.tm_hour,
                t.tm_min, t.tm_sec);
  return text;
}

std::string RecordText(const WebResult& result, const UserInfo& user, const std::string& userId,
                       const std::string& recordTime) {
  std::string text;
  text += "+++start+++\n";
  text += "url=" + result.url + "\n";
  text += "firstscreentime=" + Seconds3(result.firstScreen) + "\n";
  text += "loadingtime=\n";
  text += "ip=" + user.address + "\n";
  text += "location=" + user.province + " " + user.city + "\n";
  text += "userid=" + userId + "\n";
  text += "dtime=" + recordTime + "\n";
  text += result.automatic ? "testtype=0\n" : "testtype=1\n";
  text += "checktype=" + std::to_string(result.checktype) + "\n";
  text += "---end---";
  return text;
}

std::string SummaryText(const WebResult& result, const std::string& recordTime) {
  return "最近一次网页性能结果：\n网站地址：" + result.url + "\n首屏时间：" +
         Seconds3(result.firstScreen) + "s" + "\n测速时间：" + recordTime;
}

std::string WriteWebRecordAt(const WebResult& result, const std::tm& localTime, int invalidReason) {
  const std::string fileName = RecordFileName(localTime);
  const std::string recordTime = RecordTime(localTime);
  const UserInfo user = CDataBase::Instance().GetUserInfo();
  const std::string userId = conf::Read(conf::kUser, "userid");

  // A line break in the address would split the record's lines.
  if (AccountWritesRecords(user.userType) && !HasControlCharacter(result.url)) {
    records::WriteRecordFile(fileName, RecordText(result, user, userId, recordTime), logs::kMain,
                             "网页测速");
  }

  if (result.automatic) CDataBase::Instance().SetLastResult(SummaryText(result, recordTime));
  AddHistoryRecord(recordTime, kSpeedType, result.url, Seconds3(result.firstScreen) + " s",
                   result.automatic ? history::kAutomatic : history::kManual, false, invalidReason);
  return fileName;
}

std::string WriteWebRecord(const WebResult& result, int invalidReason) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return WriteWebRecordAt(result, local, invalidReason);
}

bool AddressLooksValid(const std::string& text) {
  // "&amp;" inside the brackets is five ordinary characters of the class.
  static const boost::regex kAddress(
      R"(^((http|ftp|https):\/\/)?[\w\-_]+(\.[\w\-_]+)+([\w\-\.,@?^=%&amp;:/~\+#]*[\w\-\@?^=%&amp;/~\+#])?)",
      boost::regex::perl);
  return boost::regex_search(text, kAddress);
}

std::string BrowserAddress(const std::string& text) {
  if (text.empty() || HasControlCharacter(text)) return {};
  // A scheme is letters, digits, "+", "-" and "." after a leading letter, then ":".
  size_t i = 0;
  if (isalpha(static_cast<unsigned char>(text[0]))) {
    while (i < text.size() && (isalnum(static_cast<unsigned char>(text[i])) || text[i] == '+' ||
                               text[i] == '-' || text[i] == '.'))
      ++i;
  }
  if (i > 0 && i < text.size() && text[i] == ':') {
    const std::string scheme = Lower(text.substr(0, i));
    if (text.compare(i, 3, "://") == 0) {
      if (scheme != "http" && scheme != "https") return {};
      return text.size() > i + 3 ? text : std::string();
    }
    // "host:port/..." is a bare host; "javascript:", "file:", "data:" are not.
    if (i + 1 >= text.size() || !isdigit(static_cast<unsigned char>(text[i + 1]))) return {};
  }
  if (text[0] == '/' || text[0] == ':' || text[0] == '?' || text[0] == '#') return {};
  return "http://" + text;
}

bool CanConnect(const std::string& address, int timeoutMs) {
  transport::UrlParts parts;
  if (!transport::ParseUrl(address, &parts) || parts.host.empty()) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(parts.host.c_str(), std::to_string(parts.port).c_str(), &hints, &found) != 0)
    return false;
  bool connected = false;
  for (addrinfo* a = found; a && !connected; a = a->ai_next) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) continue;
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
      connected = true;
    } else if (errno == EINPROGRESS) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      pollfd p{fd, POLLOUT, 0};
      if (left > 0 && poll(&p, 1, static_cast<int>(left)) == 1) {
        int error = 0;
        socklen_t size = sizeof error;
        connected = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
      }
    }
    close(fd);
  }
  freeaddrinfo(found);
  return connected;
}

std::string SiteAddress(int number) {
  MarkupDocument doc;
  if (!doc.LoadFile(paths::Native(paths::Join(platform::ProgramFolder(), "Config\\websites.xml"))))
    return {};
  doc.Rewind();
  const std::string wanted = std::to_string(number);
  while (doc.FindChild("site")) {
    if (doc.ChildAttribute("no") == wanted) return doc.ChildText();
  }
  return {};
}

}  // namespace webpage
