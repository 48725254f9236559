#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// The numbers a bandwidth test derives from its one-second samples, and the small texts of
// its protocol with the test server.
namespace band {

// Samples before this one (the first five seconds after the 2-second start wait) are left
// out of every statistic, so that TCP slow start does not lower the results.
inline constexpr size_t kSkippedSamples = 5;
inline constexpr size_t kSamplesPerPhase = 15;
inline constexpr double kMiB = 1048576.0;

using Samples = std::vector<int64_t>;

// Coefficient of variation of the samples from the 6th on; -1 with 5 samples or fewer, or
// when they sum to 0.
float Jitter(const Samples& samples);

// Mean of the samples from the 6th on in MiB/s, seconds that moved nothing left out; 0 with
// fewer than 6 samples or nothing moved.
float AverageRate(const Samples& samples);

// Largest sample from the 6th on, in MiB/s.
double MaxRate(const Samples& samples);
// The same written "%.2f" ("0.00" when it is 0).
std::string MaxRateText(const Samples& samples);

// Live rate of one sampled second: whole KiB, times 8.
double LiveRate(int64_t bytesInSecond);

// "%f" of a jitter value.
std::string JitterText(float jitter);

// Ping time text: the truncated average of the replies, or 10 when none came.
std::string PingText(bool anyReply, double averageMs);

// Reply of "/speed/dovalid": the first character is the status, the key starts at the third
// (trailing blanks and line ends are not part of it).
struct SlotReply {
  char status = '\0';  // '\0' for an empty reply
  std::string key;
};
SlotReply ParseSlotReply(std::string_view reply);

// The random parameter of the transfer URLs: the time t, ".", then 17 digits of n / 32767.
std::string MakeR(std::time_t t, int n);

}  // namespace band
