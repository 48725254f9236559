#include "bandwidth/band_statistics.h"

#include <cmath>
#include <cstdio>
#include <cstring>

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
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", rate);
  return text;
}

double LiveRate(int64_t bytesInSecond) {
  if (bytesInSecond < 0) bytesInSecond = 0;
  return static_cast<double>((bytesInSecond / 1024) * 8);
}

std::string JitterText(float jitter) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", static_cast<double>(jitter));
  return text;
}

std::string PingText(bool anyReply, double averageMs) {
  double value = 10;
  if (anyReply) value = std::trunc(averageMs);
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
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
  char fraction[64];
  std::snprintf(fraction, sizeof fraction, "%.17f", static_cast<double>(n) / 32767.0);
  // "0.xxxxx" loses its leading "0"; n = 32767 gives "1.000…", which loses the "1" the same way.
  return std::to_string(static_cast<long long>(t)) + (fraction + 1);
}

}  // namespace band
