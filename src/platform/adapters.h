#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Network adapters as the rest of the program sees them: getifaddrs for addresses and flags,
// /sys/class/net for the kind of device, the routing table for the default route. Everything
// is read in the calling thread's network namespace where the kernel allows it.
namespace platform {

struct Adapter {
  std::string name;
  unsigned index = 0;
  std::vector<uint8_t> mac;  // empty when the interface has no hardware address
  bool up = false;           // administratively up and the link is running
  bool loopback = false;
  bool physical = false;     // backed by a device (not veth, bridge, ifb, tunnel, ...)
  bool wireless = false;
  std::string ipv4;          // first IPv4 address, dotted; empty when none
  std::string mask;          // its mask, dotted
  std::string gateway;       // default gateway through this interface, dotted; empty when none

  bool HasMac() const;  // a hardware address that is not all zero
};

// Every interface, in index order. Empty optional when the list cannot be read.
std::optional<std::vector<Adapter>> ListAdapters();

// The interface of the default route (lowest metric). Without one: the first interface in index
// order that is up, not loopback and has a hardware address, devices before virtual interfaces.
// With `needMac`, a default-route interface without a hardware address (a tunnel, a dial-up
// link) gives way to that second rule.
std::optional<Adapter> FirstAdapter(bool needMac = false);

// "%02X-%02X-%02X-%02X-%02X-%02X" of a six-byte address (other lengths: every byte, same form).
std::string FormatMac(const std::vector<uint8_t>& mac);

// The routing table's default routes, as (interface, gateway) in order of rising metric.
struct DefaultRoute {
  std::string interface;
  std::string gateway;
  unsigned metric = 0;
};
std::vector<DefaultRoute> DefaultRoutes();

// Parses routing table text in the /proc/net/route layout.
std::vector<DefaultRoute> ParseDefaultRoutes(const std::string& table);

}  // namespace platform
