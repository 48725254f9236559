#include "bandwidth/server_catalogue.h"

#include "history/geo_db.h"
#include "markup/markup_document.h"

namespace {

std::vector<std::string> SplitNear(const std::string& text) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(':', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) names.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::vector<std::string> ElementTexts(const char* file, const char* tag) {
  std::vector<std::string> texts;
  MarkupDocument doc;
  if (!doc.LoadFile(file)) return texts;
  doc.Rewind();
  while (doc.FindChild(tag)) texts.push_back(doc.ChildText());
  return texts;
}

}  // namespace

ServerCatalogue LoadServerCatalogue() {
  ServerCatalogue catalogue;
  MarkupDocument servers;
  if (!servers.LoadFile(catalogue::kServerFile)) return catalogue;

  // name -> value of "dest_config.xml"; the first entry of a name wins.
  std::vector<std::pair<std::string, std::string>> dests;
  MarkupDocument destDoc;
  if (destDoc.LoadFile(catalogue::kDestFile)) {
    destDoc.Rewind();
    while (destDoc.FindChild("destip")) {
      dests.emplace_back(destDoc.ChildAttribute("name"), destDoc.ChildAttribute("value"));
    }
  }

  servers.Rewind();
  while (servers.FindChild("province-array")) {
    ProvinceServers province;
    province.name = servers.ChildAttribute("name");
    province.nas = servers.ChildAttribute("nas");
    province.near = SplitNear(servers.ChildAttribute("near"));
    if (!servers.EnterChild()) break;
    while (servers.FindChild("server")) {
      TestServer server;
      server.name = servers.ChildText();
      for (const auto& [name, value] : dests) {
        if (name == server.name) {
          ParseDestValue(value, &server.address, &server.monitorId);
          break;
        }
      }
      province.servers.push_back(std::move(server));
    }
    servers.LeaveToParent();
    catalogue.push_back(std::move(province));
  }
  return catalogue;
}

std::vector<std::string> LoadOperatorNames() {
  return ElementTexts(catalogue::kOperatorFile, "operator");
}

std::vector<std::string> LoadProvinceNames() {
  return ElementTexts(catalogue::kProvinceFile, "province");
}

UserLocation LocateUser(const UserInfo& user) {
  UserLocation where;
  const RegionNames names = LookupRegionNames(user.locatedCityId, user.locatedProvinceId);
  where.province = names.province;
  where.city = geo::IsMunicipality(names.province) ? names.province : names.city;
  where.operatorName = LookupOperatorName(user.locatedOperatorId);
  return where;
}
