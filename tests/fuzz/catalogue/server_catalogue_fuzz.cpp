// The test server catalogue comes from files the update server replaces: any bytes in them must
// load, and every server the choice offers must be one the catalogue holds. The input is cut at
// "\x01" into "addr_server.xml", "dest_config.xml" and "operator_config.xml".
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "../fuzz_folder.h"
#include "bandwidth/server_catalogue.h"

namespace {

bool IsDottedQuad(const std::string& text) {
  int parts = 0, digits = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      if (++digits > 3) return false;
    } else if (c == '.' && digits > 0) {
      ++parts;
      digits = 0;
    } else {
      return false;
    }
  }
  return parts == 3 && digits > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzfolder::Enter();
  const std::string input(reinterpret_cast<const char*>(data), size);
  const char* files[] = {catalogue::kServerFile, catalogue::kDestFile, catalogue::kOperatorFile};
  size_t from = 0;
  for (const char* file : files) {
    size_t cut = input.find('\x01', from);
    std::string part = from <= input.size() ? input.substr(from, cut - from) : std::string();
    std::string name = file;
    for (char& c : name)
      if (c == '\\') c = '/';
    fuzzfolder::WriteBytes(name, part.data(), part.size());
    from = cut == std::string::npos ? input.size() + 1 : cut + 1;
  }

  const ServerCatalogue all = LoadServerCatalogue();
  std::vector<std::string> operators = LoadOperatorNames();
  operators.push_back("中国电信通");
  for (const ProvinceServers& province : all)
    for (const TestServer& server : province.servers)
      if (!server.address.empty() && !IsDottedQuad(server.address)) abort();

  size_t provinces = 0;
  for (const ProvinceServers& province : all) {
    if (++provinces > 8) break;
    size_t tried = 0;
    for (const std::string& op : operators) {
      if (++tried > 4) break;
      UserLocation where{province.name, province.near.empty() ? "" : province.near[0], op};
      ServerSelection choice = SelectServers(all, where, operators);
      if (choice.province >= static_cast<int>(all.size())) abort();
      for (const std::string& name : choice.candidates)
        if (!FindServer(all, name)) abort();
      for (const std::string& name : ServersOf(province, op))
        if (!FindServer(all, name)) abort();
    }
    for (const std::string& op : OperatorsOf(province, operators)) {
      bool known = false;
      for (const std::string& name : operators) known = known || name == op;
      if (!known) abort();
    }
  }
  return 0;
}
