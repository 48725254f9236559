#pragma once

#include <string>
#include <vector>

#include "core/user_info.h"

// The catalogue of test servers and the choice of the server that fits the user.

struct TestServer {
  std::string name;
  std::string address;    // dotted IPv4, empty when "dest_config.xml" has no usable entry
  std::string monitorId;  // empty likewise
};

struct ProvinceServers {
  std::string name;
  std::string nas;  // "N": the northern operator is the main one; anything else: "电信"
  std::vector<std::string> near;
  std::vector<TestServer> servers;  // file order
};

using ServerCatalogue = std::vector<ProvinceServers>;

// Where the user is, as names (empty when unknown).
struct UserLocation {
  std::string province;
  std::string city;
  std::string operatorName;
};

struct ServerSelection {
  int province = -1;  // index into the catalogue, -1 when no province fits
  std::string nas;
  std::vector<std::string> candidates;  // best first
};

namespace catalogue {
inline constexpr const char* kServerFile = "Config\\addr_server.xml";
inline constexpr const char* kDestFile = "Config\\dest_config.xml";
inline constexpr const char* kOperatorFile = "Config\\operator_config.xml";
inline constexpr const char* kProvinceFile = "Config\\province_config.xml";
inline constexpr const char* kTelecom = "电信";
inline constexpr const char* kUnicom = "联通";
inline constexpr const char* kTelecomLink = "电信通";
inline constexpr const char* kNoServerMessage = "未匹配到测速服务器，请手动选择！";
inline constexpr const char* kMismatchQuestion =
    "选择的监测点与网络环境不匹配，测试的数据可能会低于实际接入速率，是否继续？";
}  // namespace catalogue

// Reads "Config\addr_server.xml" and "Config\dest_config.xml"; missing or unreadable files give
// an empty catalogue (or servers without address).
ServerCatalogue LoadServerCatalogue();

// Operator names of "Config\operator_config.xml", in order of preference.
std::vector<std::string> LoadOperatorNames();
// Province names of "Config\province_config.xml".
std::vector<std::string> LoadProvinceNames();

// Address and monitor id of one "dest_config.xml" value ("a.b.c.d:monitor:number").
void ParseDestValue(const std::string& value, std::string* address, std::string* monitorId);

// The user's province, city and operator names through the geographic database.
UserLocation LocateUser(const UserInfo& user);

// Both rounds of the choice; empty candidates when nothing fits.
ServerSelection SelectServers(const ServerCatalogue& catalogue, const UserLocation& where,
                              const std::vector<std::string>& operatorNames);

// For the screen's lists: the operators (of `operatorNames`, in that order) that have a server
// in the province, and the servers of one operator, best first (the choice's own rules).
std::vector<std::string> OperatorsOf(const ProvinceServers& province,
                                     const std::vector<std::string>& operatorNames);
std::vector<std::string> ServersOf(const ProvinceServers& province, const std::string& keyword);

// The first province whose name occurs in `provinceName`, or -1.
int FindProvinceIndex(const ServerCatalogue& catalogue, const std::string& provinceName);

// The catalogue entry of a server name (first one), or null.
const TestServer* FindServer(const ServerCatalogue& catalogue, const std::string& name);

// The operator keyword the choice starts with: the longest listed name that the operator name
// contains, else the province default.
std::string OperatorKeyword(const std::string& operatorName, const std::string& nas,
                            const std::vector<std::string>& operatorNames);

// The automatic choice made when the engine was built: the province record's name and the
// first candidate. Empty texts mean none.
struct AutomaticChoice {
  std::string province;
  std::string server;
  bool Exists() const { return !province.empty() && !server.empty(); }
};

enum class ChoiceCheck { kContinue, kNoServer, kMismatch };

// Whether the current server may be used without asking: kNoServer (no automatic choice),
// kMismatch (ask the user), or kContinue.
ChoiceCheck CheckServerChoice(const std::string& currentServer, const AutomaticChoice& automatic,
                              const UserLocation& where);
