#include "bandwidth/band_statistics.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/c_format.h"

namespace band {

float Jitter(const Samples& samples) {
  if (samples.size() <= kSkippedSamples) return -1;
  const float m = static_cast<float>(samples.size() - kSkippedSamples);
  float sum = 0;
  float sumSquares = 0;
  for (size_t i = kSkippedSamples; i < samples.size(); ++i) {
    const float x = static_cast<float>(samples[i]);
    sum += x;
    sumSquares += x * x;
  }
  if (sum == 0) return -1;
  const float mean = sum / m;
  return std::sqrt(std::fabs(sumSquares / m - mean * mean)) / mean;
}

float AverageRate(const Samples& samples) {
  if (samples.size() <= kSkippedSamples) return 0;
  int64_t sum = 0;
  size_t zeros = 0;
  for (size_t i = kSkippedSamples; i < samples.size(); ++i) {
    sum += samples[i];
    if (samples[i] == 0) ++zeros;
  }
  if (sum == 0) return 0;
  const float seconds = static_cast<float>(samples.size() - zeros - kSkippedSamples);
  return static_cast<float>(sum) / static_cast<float>(kMiB) / seconds;
}

double MaxRate(const Samples& samples) {
  int64_t best = 0;
  for (size_t i = kSkippedSamples; i < samples.size(); ++i) {
    if (samples[i] > best) best = samples[i];
  }
  return static_cast<double>(best) / kMiB;
}

std::string MaxRateText(const Samples& samples) {
  const double rate = MaxRate(samples);
  if (rate == 0) return "0.00";
  return cformat::Format("%.2f", rate);
}

double LiveRate(int64_t bytesInSecond) {
  if (bytesInSecond < 0) bytesInSecond = 0;
  return static_cast<double>((bytesInSecond / 1024) * 8);
}

std::string JitterText(float jitter) { return cformat::Format("%f", static_cast<double>(jitter)); }

std::string PingText(bool anyReply, double averageMs) {
  double value = 10;
  if (anyReply) value = std::trunc(averageMs);
  return cformat::Format("%.1f", value);
}

SlotReply ParseSlotReply(std::string_view reply) {
  SlotReply result;
  if (!reply.empty()) result.status = reply[0];
  if (reply.size() > 2) result.key = std::string(reply.substr(2));
  // A line end after the key would end up inside the transfer URLs' request lines. Only
  // blanks and line ends go; any other byte, NUL included, is part of the key.
  constexpr std::string_view kTrailing(" \t\r\n");
  while (!result.key.empty() && kTrailing.find(result.key.back()) != std::string_view::npos) {
    result.key.pop_back();
  }
  return result;
}

std::string MakeR(std::time_t t, int n) {
  const std::string fraction = cformat::Format("%.17f", static_cast<double>(n) / 32767.0);
  // "0.xxxxx" loses its leading "0"; n = 32767 gives "1.000…", which loses the "1" the same way.
  return std::to_string(static_cast<long long>(t)) + fraction.substr(1);
}

}  // namespace band
