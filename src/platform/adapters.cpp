#include "platform/adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>
#include <netpacket/packet.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace platform {
namespace {

std::string Dotted(const sockaddr* address) {
  if (!address || address->sa_family != AF_INET) return {};
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  return text;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Aliases ("eth0:1") belong to their interface.
std::string BaseName(const char* name) {
  std::string n(name ? name : "");
  auto colon = n.find(':');
  return colon == std::string::npos ? n : n.substr(0, colon);
}

std::string ReadWhole(const char* path) {
  std::ifstream in(path);
  if (!in) return {};
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

bool Adapter::HasMac() const {
  return std::any_of(mac.begin(), mac.end(), [](uint8_t b) { return b != 0; });
}

std::string FormatMac(const std::vector<uint8_t>& mac) {
  std::string out;
  char part[4];
  for (size_t i = 0; i < mac.size(); ++i) {
    std::snprintf(part, sizeof part, i ? "-%02X" : "%02X", mac[i]);
    out += part;
  }
  return out;
}

std::vector<DefaultRoute> ParseDefaultRoutes(const std::string& table) {
  std::vector<DefaultRoute> routes;
  std::istringstream lines(table);
  std::string line;
  std::getline(lines, line);  // heading
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name, dest, gateway, flags, refs, use, metric, mask;
    if (!(fields >> name >> dest >> gateway >> flags >> refs >> use >> metric >> mask)) continue;
    unsigned long d, g, f, m, mk;
    try {
      d = std::stoul(dest, nullptr, 16);
      g = std::stoul(gateway, nullptr, 16);
      f = std::stoul(flags, nullptr, 16);
      m = std::stoul(metric);
      mk = std::stoul(mask, nullptr, 16);
    } catch (...) {
      continue;
    }
    if (d != 0 || mk != 0 || !(f & RTF_UP)) continue;
    DefaultRoute route;
    route.interface = name;
    route.metric = static_cast<unsigned>(m);
    if (f & RTF_GATEWAY) {
      // The table prints the address as the integer whose memory holds it in network order.
      in_addr a;
      a.s_addr = static_cast<uint32_t>(g);
      char text[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &a, text, sizeof text);
      route.gateway = text;
    }
    routes.push_back(route);
  }
  std::stable_sort(routes.begin(), routes.end(),
                   [](const DefaultRoute& a, const DefaultRoute& b) { return a.metric < b.metric; });
  return routes;
}

std::vector<DefaultRoute> DefaultRoutes() {
  // The thread's own view first, so that a thread in another network namespace reads its table.
  std::string table = ReadWhole("/proc/thread-self/net/route");
  if (table.empty()) table = ReadWhole("/proc/net/route");
  return ParseDefaultRoutes(table);
}

std::optional<std::vector<Adapter>> ListAdapters() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  std::map<std::string, Adapter> byName;
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    std::string name = BaseName(a->ifa_name);
    if (name.empty()) continue;
    Adapter& adapter = byName[name];
    adapter.name = name;
    if (!a->ifa_addr) continue;
    if (a->ifa_addr->sa_family == AF_PACKET) {
      auto* link = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
      adapter.index = static_cast<unsigned>(link->sll_ifindex);
      adapter.mac.assign(link->sll_addr, link->sll_addr + std::min<size_t>(link->sll_halen, 8));
      adapter.up = (a->ifa_flags & IFF_UP) && (a->ifa_flags & IFF_RUNNING);
      adapter.loopback = a->ifa_flags & IFF_LOOPBACK;
    } else if (a->ifa_addr->sa_family == AF_INET && adapter.ipv4.empty()) {
      adapter.ipv4 = Dotted(a->ifa_addr);
      adapter.mask = Dotted(a->ifa_netmask);
    }
  }
  freeifaddrs(list);

  std::vector<DefaultRoute> routes = DefaultRoutes();
  std::vector<Adapter> adapters;
  for (auto& [name, adapter] : byName) {
    if (adapter.index == 0) adapter.index = if_nametoindex(name.c_str());
    std::string sys = "/sys/class/net/" + name;
    adapter.physical = Exists(sys + "/device");
    adapter.wireless = Exists(sys + "/wireless") || Exists(sys + "/phy80211");
    for (const DefaultRoute& route : routes) {
      if (route.interface == name && !route.gateway.empty()) {
        adapter.gateway = route.gateway;
        break;
      }
    }
    adapters.push_back(std::move(adapter));
  }
  std::sort(adapters.begin(), adapters.end(),
            [](const Adapter& a, const Adapter& b) { return a.index < b.index; });
  return adapters;
}

std::optional<Adapter> FirstAdapter(bool needMac) {
  auto adapters = ListAdapters();
  if (!adapters) return std::nullopt;
  for (const DefaultRoute& route : DefaultRoutes()) {
    for (const Adapter& a : *adapters)
      if (a.name == route.interface && !a.loopback && (!needMac || a.HasMac())) return a;
  }
  auto usable = [](const Adapter& a) { return a.up && !a.loopback && a.HasMac(); };
  for (bool physical : {true, false})
    for (const Adapter& a : *adapters)
      if (usable(a) && a.physical == physical) return a;
  return std::nullopt;
}

}  // namespace platform
