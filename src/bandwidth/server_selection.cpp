#include <boost/regex.hpp>

#include "bandwidth/server_catalogue.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

int FindProvince(const ServerCatalogue& catalogue, const std::string& provinceName) {
  for (size_t i = 0; i < catalogue.size(); ++i) {
    if (Contains(provinceName, catalogue[i].name)) return static_cast<int>(i);
  }
  return -1;
}

std::string NasDefault(const std::string& nas) {
  return nas == "N" ? catalogue::kUnicom : catalogue::kTelecom;
}

struct ScanResult {
  std::vector<std::string> byOperator;
  std::vector<std::string> byCity;
};

ScanResult Scan(const ProvinceServers& province, const std::string& keyword,
                const std::string& city) {
  ScanResult result;
  const bool keywordIsLink = Contains(keyword, catalogue::kTelecomLink);
  for (auto it = province.servers.rbegin(); it != province.servers.rend(); ++it) {
    const std::string& name = it->name;
    if (!Contains(name, keyword)) continue;
    // "电信" must never pick a "电信通" server.
    if (Contains(name, catalogue::kTelecomLink) && !keywordIsLink) continue;
    result.byOperator.push_back(name);
    if (Contains(name, city)) result.byCity.push_back(name);
  }
  return result;
}

std::vector<std::string> Round(const ServerCatalogue& catalogue, int own,
                               const std::string& keyword, const std::string& city) {
  const ProvinceServers& province = catalogue[own];
  ScanResult mine = Scan(province, keyword, city);
  if (!mine.byCity.empty()) return mine.byCity;
  if (!mine.byOperator.empty()) return mine.byOperator;
  for (const std::string& nearName : province.near) {
    const int index = FindProvince(catalogue, nearName);
    if (index < 0) continue;
    ScanResult other = Scan(catalogue[index], keyword, city);
    if (!other.byOperator.empty()) return other.byOperator;
  }
  return {};
}

}  // namespace

std::string OperatorKeyword(const std::string& operatorName, const std::string& nas,
                            const std::vector<std::string>& operatorNames) {
  // The longest contained name wins, whatever the file's order: "电信通" users must not get
  // "电信" servers because "电信" happens to be listed first. Equal lengths keep file order.
  const std::string* best = nullptr;
  for (const std::string& name : operatorNames) {
    if (name.empty() || !Contains(operatorName, name)) continue;
    if (!best || name.size() > best->size()) best = &name;
  }
  return best ? *best : NasDefault(nas);
}

ServerSelection SelectServers(const ServerCatalogue& catalogue, const UserLocation& where,
                              const std::vector<std::string>& operatorNames) {
  ServerSelection selection;
  if (where.province.empty()) return selection;
  selection.province = FindProvince(catalogue, where.province);
  if (selection.province < 0) return selection;
  const ProvinceServers& own = catalogue[selection.province];
  selection.nas = own.nas;
  const std::string keyword = OperatorKeyword(where.operatorName, own.nas, operatorNames);
  selection.candidates = Round(catalogue, selection.province, keyword, where.city);
  if (selection.candidates.empty()) {
    selection.candidates = Round(catalogue, selection.province, NasDefault(own.nas), where.city);
  }
  return selection;
}

int FindProvinceIndex(const ServerCatalogue& catalogue, const std::string& provinceName) {
  return FindProvince(catalogue, provinceName);
}

std::vector<std::string> OperatorsOf(const ProvinceServers& province,
                                     const std::vector<std::string>& operatorNames) {
  std::vector<std::string> result;
  for (const std::string& name : operatorNames) {
    if (!name.empty() && !Scan(province, name, "").byOperator.empty()) result.push_back(name);
  }
  return result;
}

std::vector<std::string> ServersOf(const ProvinceServers& province, const std::string& keyword) {
  return Scan(province, keyword, "").byOperator;
}

const TestServer* FindServer(const ServerCatalogue& catalogue, const std::string& name) {
  for (const ProvinceServers& province : catalogue) {
    for (const TestServer& server : province.servers) {
      if (server.name == name) return &server;
    }
  }
  return nullptr;
}

ChoiceCheck CheckServerChoice(const std::string& currentServer, const AutomaticChoice& automatic,
                              const UserLocation& where) {
  if (!automatic.Exists()) return ChoiceCheck::kNoServer;
  if (automatic.province == where.province && currentServer == automatic.server) {
    return ChoiceCheck::kContinue;
  }
  return ChoiceCheck::kMismatch;
}

void ParseDestValue(const std::string& value, std::string* address, std::string* monitorId) {
  static const boost::regex kAddress(R"((\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}):\d+:\d+)");
  static const boost::regex kMonitor(R"(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3}:(\d+):\d+)");
  boost::smatch match;
  address->clear();
  monitorId->clear();
  if (boost::regex_search(value, match, kAddress)) *address = match[1].str();
  if (boost::regex_search(value, match, kMonitor)) *monitorId = match[1].str();
}
