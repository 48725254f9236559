#include "auto/local_mac.h"

#include "core/properties_file.h"
#include "platform/adapters.h"

bool GetLocalMac(std::string& mac) {
  mac.clear();
  auto adapter = platform::FirstAdapter(true);
  if (!adapter || !adapter->HasMac()) return false;
  mac = platform::FormatMac(adapter->mac);
  return true;
}

bool EnsureAdapterKey() {
  std::string mac;
  if (!GetLocalMac(mac)) return false;
  PropertiesFile file(conf::kIpConfig);
  file.Load();
  if (file.Get(mac) == "null") {
    file.Add(mac, "1");
    file.Save(false);
  }
  return true;
}
