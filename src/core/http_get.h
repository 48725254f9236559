#pragma once

// The timed download of the file download test: a probe connection measures the connect time
// and checks the reply, then a receiver fetches the file until it ends or the time is up. The
// counter is process-wide: one fetch at a time (a second call while one runs returns false).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/http_transport.h"

// What a running fetch shows to another thread: the total as soon as the fetch holds it, the
// connect time and announced length once the probe has accepted the file.
struct FetchWatch {
  std::atomic<std::atomic<int64_t>*> total{nullptr};
  std::atomic<int64_t> connectMs{0};
  std::atomic<int64_t> contentLength{0};
};

class CHttpGet {
 public:
  static constexpr int kReceiveTimeoutMs = 3000;
  static constexpr int kConnectTimeoutMs = 3000;
  static constexpr int64_t kMinContentLength = 1000000;  // the file must be larger than this
  static constexpr size_t kPieceBytes = transport::kPieceBytes;

  // `timeoutSeconds` bounds the transfer (-1: no bound). On success gives the connect time
  // and the load time in ms and the announced length; on refusal false with a length of 0.
  // `total`, when given, receives the address of the fetch total at the start.
  bool Fetch(const std::string& url, int timeoutSeconds, int64_t* connectMs, int64_t* loadMs,
             int64_t* contentLength, std::atomic<int64_t>** total = nullptr);

  // The same, showing its progress through `watch` while it runs.
  bool Fetch(const std::string& url, int timeoutSeconds, int64_t* connectMs, int64_t* loadMs,
             int64_t* contentLength, FetchWatch* watch);

  static std::atomic<int64_t>& FetchTotal();
};
