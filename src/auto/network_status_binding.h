#pragma once

#include <string>
#include <vector>

// The outside probe library libNetworkStatus.so, loaded from the program folder at each probe
// and never unloaded. A missing library or export gives a result with success 0.
namespace netstatus {

inline constexpr const char* kLibraryName = "libNetworkStatus.so";
inline constexpr int kMinPingCount = 4;

struct TraceResult {
  std::string source;
  std::string destination;
  int success = 0;  // non-zero: the trace produced a result
  int id = 0;       // the caller's slot for the destination identifier
  std::vector<std::string> lines;  // hop lines, "1  10.0.0.1  0.321 ms  0.280 ms  0.275 ms"
};

struct PingResult {
  std::string source;
  std::string destination;
  std::string host;  // the destination as given
  int success = 0;   // non-zero: at least one reply
  int packetSize = 0;
  float average = 0;  // ms
  int transmitted = 0;
  float minimum = 0;  // ms
  float maximum = 0;  // ms
  int received = 0;
  std::string loss;  // "0%", "25%", ...
  int id = 0;
  std::vector<std::string> lines;  // "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms"
  float stddev = 0;  // ms
};

// Pings with `count` echo requests, at least 4. Blocks about one second per request.
PingResult Ping(const std::string& destination, int count);

// Traces over at most `maxHops` hops. Blocks at most about one second per hop.
TraceResult Tracert(const std::string& destination, int maxHops);

// Full path of the library in the program folder.
std::string LibraryPath();

// The same probes through the library at `libraryPath`.
PingResult Ping(const std::string& libraryPath, const std::string& destination, int count);
TraceResult Tracert(const std::string& libraryPath, const std::string& destination, int maxHops);

}  // namespace netstatus
