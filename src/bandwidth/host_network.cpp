#include "bandwidth/host_network.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace band {
namespace {

// Interface names that carry a default route, from /proc/net/route.
std::vector<std::string> DefaultRouteInterfaces() {
  std::vector<std::string> names;
  std::ifstream in("/proc/net/route");
  std::string line;
  std::getline(in, line);  // heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name, destination, gateway, flags, refcnt, use, metric, mask;
    if (!(fields >> name >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask)) {
      continue;
    }
    if (destination == "00000000" && mask == "00000000") names.push_back(name);
  }
  return names;
}

}  // namespace

bool NetworkAlive() {
  if (!DefaultRouteInterfaces().empty()) return true;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool alive = false;
  for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr) continue;
    const int family = it->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    if ((it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_LOOPBACK) != 0) continue;
    alive = true;
    break;
  }
  freeifaddrs(list);
  return alive;
}

}  // namespace band
