#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "auto/network_status_binding.h"

// Background collection of ping and trace records towards destinations chosen by two XML files
// from the update server. The pieces apart from the thread are pure so tests reach them.
namespace pingtrace {

inline constexpr const char* kParamFile = "Config\\tracert_ping_param.xml";
inline constexpr const char* kDestFile = "Config\\tracert_ping_dest.xml";
inline constexpr const char* kRecordFolder = "NetStatusData";

inline constexpr int kMetypeDestination = 0;
inline constexpr int kMetypeWebSite = 1;

// Held to these ranges, so a value from the server cannot stall the collection for hours.
inline constexpr int kMinPingPacket = 4;
inline constexpr int kMaxPingPacket = 100;
inline constexpr int kMinTraceTtl = 1;
inline constexpr int kMaxTraceTtl = 64;

struct Location {
  std::string province;
  std::string city;
};

// Splits the registered location ("江苏省南京市", "北京市") into province and city; the city is
// the text before the first of `markers` (the municipal words of the area file, in order) that
// occurs in the rest.
Location SplitLocation(const std::string& location, const std::vector<std::string>& markers);

struct TracePingParams {
  std::string province;
  std::string city;
  std::vector<std::string> operators;
  std::string destFile;
  int interval = 0;  // minutes
  bool trace = false;
  bool ping = false;
  int randomCount = 0;
  std::string randomGrouping;
  std::vector<std::string> randomOperators;
  int randomPingCount = 0;
  int randomHops = 0;
  std::vector<std::string> mustProvinces;
  std::vector<std::string> mustOperators;
  int mustPingCount = 0;
  int mustHops = 0;
  std::vector<std::string> webIds;
};

// Entries of a "-" separated list; an empty text gives an empty list.
std::vector<std::string> SplitList(const std::string& text);

// The parameters of the last `city-array` that matches the user's province, city and operator
// ("all" matches any province or city). Nothing matching, or a missing file: all empty and 0.
TracePingParams ReadTracePingParams(const std::string& file, const std::string& province,
                                    const std::string& city, const std::string& oper);

struct TraceDestination {
  std::string oper;  // the web site's name for web sites
  std::string address;
  int id = 0;
};

struct Destinations {
  std::vector<TraceDestination> random;
  std::vector<TraceDestination> must;
  std::vector<TraceDestination> web;
};

// The random pick's source of numbers and its pause before each pick (false: stop asked).
struct Picker {
  std::function<unsigned()> next;
  std::function<bool()> pause;
};
// Numbers from a generator seeded with the time; a one-second pause.
Picker DefaultPicker();

Destinations SelectDestinations(const std::string& destFile, const TracePingParams& params,
                                const Picker& picker);

// "%04d-%02d-%02d %02d:%02d:%02d".
std::string DateTimeText(const std::tm& local);

// The records, whole, lines ended by CR LF.
std::string TraceRecordText(const netstatus::TraceResult& result, const std::string& dateTime,
                            int metype, const std::string& userId);
std::string PingRecordText(const netstatus::PingResult& result, const std::string& dateTime,
                           int metype, const std::string& userId);

// "NetStatusData\Pccollect_trace_%04d%02d%02d%02d.dat" / "..._ping_..." at that local hour.
std::string RecordFileName(bool trace, const std::tm& local);

// Writes one record afresh (GBK) into its hourly file, making the folder when missing. True
// only when the whole record is on disk.
bool WriteRecordFile(const std::string& path, const std::string& text);

// Waits of the collection; tests shorten them.
struct CollectionTimings {
  std::chrono::milliseconds failurePause{3600000};  // after a failed download
  std::chrono::milliseconds busyWait{30000};        // while a speed test runs
  std::chrono::milliseconds probeGap{2000};         // after each trace and ping
  std::chrono::milliseconds minute{60000};          // one minute of `interval`
  std::chrono::milliseconds minimumGap{60000};      // least time between two passes
  std::chrono::milliseconds pickPause{1000};        // before each random pick
};
CollectionTimings GetCollectionTimings();
void SetCollectionTimings(const CollectionTimings& timings);

// A destination file name from the server: a plain name, never a path.
bool IsPlainFileName(const std::string& name);

struct PassOutcome {
  bool downloaded = false;  // both files fetched; false: the failure pause follows
  int interval = 0;         // minutes until the next pass
  int traces = 0;           // records written and packed
  int pings = 0;
};

// One pass without its closing pause: both downloads, the selection and the probes. Returns
// early when the collection is stopped.
PassOutcome RunPass();

// Starts the collection thread (once: false when it already runs). It repeats passes, pausing
// after each, until stopped.
bool StartCollection();
// Ends the collection within a step and waits for its thread (program exit, tests).
void StopCollection();
bool CollectionStopping();

}  // namespace pingtrace
