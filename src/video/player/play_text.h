#pragma once

// The texts the player exchanges with the engine, and the result fields it measures.

#include <cstdint>
#include <string>
#include <vector>

namespace videoplayer {

enum class RequestKind { Unknown, Start, AutoStart, Stop };

struct ParsedRequest {
  RequestKind kind = RequestKind::Unknown;
  std::string argument;  // XML text decoded
};

// Reads one "<invoke name=...><arguments><string>...</string></arguments></invoke>" text.
ParsedRequest ParseRequest(const std::string& text);

// Decodes the five named entities and numeric character references; a malformed reference
// is kept as it stands.
std::string DecodeXmlText(const std::string& text);
std::string EscapeXmlText(const std::string& text);

// "<invoke name=\"NAME\" returntype=\"xml\"><arguments><string>ARG</string></arguments></invoke>"
std::string InvokeText(const std::string& name, const std::string& argument);

// Bytes received during each whole second counted from the first body byte.
class SecondBins {
 public:
  // `secondsSinceFirstByte` of the byte's arrival.
  void Add(double secondsSinceFirstByte, int64_t bytes);
  // The most bytes of one whole second; when the transfer (first → last byte) took less than a
  // second, its average over that time. Bytes per second.
  double MaxRate(double transferSeconds) const;

 private:
  std::vector<int64_t> m_bins;
  int64_t m_total = 0;
};

struct PlayFigures {
  double maxRate = 0;  // bytes per second
  double loadingSeconds = 0;
  int64_t totalBytes = 0;  // Content-Length, or the bytes received when it had none
  double averageRate = 0;  // bytes per second
  int64_t loadedBytes = 0;
  double totalSeconds = 0;
  bool completed = false;
};

// "MAXSPEED#loadingtime#totalsize#speed#loadsize#totaltime#true|false" in KB (1024 B).
std::string ResultFields(const PlayFigures& figures);

}  // namespace videoplayer
