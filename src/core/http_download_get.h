#pragma once

// Throughput clients of the bandwidth test: many parallel GETs, or many parallel POST
// uploads, for a fixed time, counting bytes. The counters are process-wide: at most one
// download and one upload run at a time (a second call while one runs returns false).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/http_transport.h"

class CHttpDownloadGet {
 public:
  static constexpr int kDownloadDurationMs = 20000;
  static constexpr int kUploadDurationMs = 18000;
  static constexpr int kReceiveTimeoutMs = 15000;
  static constexpr int kConnectTimeoutMs = 5000;
  static constexpr size_t kPieceBytes =
      transport::kPieceBytes;                    // download receive and "m1" file piece
  static constexpr int kChunkBytes = 32768;      // "m2" repeated body
  static constexpr int kSupervisorWaitMs = 100;  // longest wait between looks at time and state
  static constexpr const char* kBoundary = "----------------63686572697368";
  static constexpr const char* kUploadAgentLine =
      "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0; SLCC2; .NET "
      "CLR 2.0.50727; .NET CLR 3.5.30729; .NET CLR 3.0.30729; Media Center PC 6.0; InfoPath.3; "
      ".NET4.0C; .NET4.0E)";

  // Receives with `threads` connections until the download time is over (or the run state
  // stops it). `total`, when given, receives the address of the download total at the start.
  // False when the URL cannot be split or another download runs.
  bool Download(const std::string& url, int threads, std::atomic<int64_t>** total = nullptr);

  // Posts `localFile` with `threads` connections until the upload time is over, each thread
  // a whole-file sender ("m1", the default) or a chunk repeater (any other "upload_method").
  bool Upload(const std::string& url, const std::string& localFile, int threads,
              std::atomic<int64_t>** total = nullptr);

  // The process-wide counters, readable while a transfer runs.
  static std::atomic<int64_t>& DownloadTotal();
  static std::atomic<int64_t>& DownloadContentLength();  // of the last response head read
  static std::atomic<int64_t>& UploadTotal();

  // Test hook: shorter transfer times (0 restores the defaults).
  static void SetDurationsForTest(int downloadMs, int uploadMs);
  static int DownloadDurationMs();
  static int UploadDurationMs();
};
