#pragma once

#include <cstdint>

namespace updater {

// Every duration the updater waits for. The environment variable KESTRANE_UPDATE_TIME_DIVISOR
// (1 to 1000) shortens them for tests and the demo: waits are divided by it, network
// time-outs by at most 10 so that a loaded machine still gets its bytes through.
struct UpdateTiming {
  int firstWaitMs = 300000;     // before each background pass
  int currentWaitMs = 3300000;  // after a pass that left the application current
  int retryWaitMs = 900000;     // after a failed pass
  int killPauseMs = 2000;       // between stopping Kestrane and copying
  int countdownTickMs = 1000;   // the restart countdown's timer
  int receiveTimeoutMs = 15000;
  int transferBaseMs = 30000;  // a download's whole time: this plus msPer64KiB of its length
  int msPer64KiB = 1000;

  static UpdateTiming FromEnvironment();
};

inline constexpr int64_t kMaxManifestBytes = 4 << 20;
inline constexpr int64_t kMaxFileBytes = int64_t{512} << 20;

}  // namespace updater
