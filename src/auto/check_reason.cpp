#include "auto/check_reason.h"

#include <cstdio>

#include "auto/settings_files.h"

namespace {

std::string Format(const char* pattern, int value, const char* suffix = "") {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, pattern, value, suffix);
  return buffer;
}

}  // namespace

std::string ReasonText(int code, const ReasonThresholds& thresholds) {
  switch (code) {
    case verdict::kCpuBusy:
      return Format("CPU使用率 > %d%s", thresholds.cpuPercent, "%");
    case verdict::kMemoryBusy:
      return Format("内存使用率 > %d%s", thresholds.memoryPercent, "%");
    case verdict::kAntivirus:
      return "开启了杀毒软件";
    case verdict::kWireless:
      return "无线上网";
    case verdict::kTraffic:
      return Format("网卡流量 > %dKB/s", thresholds.flowDownKBps);
    case verdict::kSharedLine:
      return "多机上网";
    default:
      return {};
  }
}

std::string ReasonText(int code) {
  ReasonThresholds thresholds;
  // Only these texts quote a threshold; the others need no file.
  if (code == verdict::kCpuBusy || code == verdict::kMemoryBusy || code == verdict::kTraffic) {
    settings::Thresholds current = settings::ReadThresholds();
    thresholds.cpuPercent = current.cpuPercent;
    thresholds.memoryPercent = current.memoryPercent;
    thresholds.flowDownKBps = current.flowDown;
  }
  return ReasonText(code, thresholds);
}
