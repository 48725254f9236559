#pragma once

#include <string>

// The thresholds a reason text quotes; the defaults are those of a missing threshold file.
struct ReasonThresholds {
  int cpuPercent = 100;
  int memoryPercent = 100;
  int flowDownKBps = 0;
};

// Environment verdict codes of an automatic cycle.
namespace verdict {
constexpr int kSuitable = 0;
constexpr int kCpuBusy = 1;
constexpr int kMemoryBusy = 2;
constexpr int kAntivirus = 3;
constexpr int kWireless = 4;
constexpr int kTraffic = 5;
constexpr int kSharedLine = 6;
}  // namespace verdict

// The reason stored with an invalid result: empty for 0 and for codes outside 1..6.
std::string ReasonText(int code, const ReasonThresholds& thresholds);
// The same with the current thresholds of "Config\threshold_config.xml", read anew each call.
std::string ReasonText(int code);
