// The file download engine on loopback: one 2 GiB fetch beside one curl of the same file
// (throughput, CPU seconds per GiB), then the reported speed against the lab's measured rate
// at fixed rates.

#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/data_base.h"
#include "filedown/file_down_speed.h"
#include "lab_fixture.h"
#include "platform/program_folder.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kGiB = 1024.0 * 1024 * 1024;

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / "kestrane-filedown-bench";
  fs::remove_all(folder);
  for (const char* sub : {"conf", "Config", "log", "DB", "Data"})
    fs::create_directories(folder / sub);
  platform::SetProgramFolder(folder.string());
  fs::current_path(folder);
  CFileDownSpeed::SetNetworkAliveForTest(1);

  LabProcess lab({"--files"});
  if (!lab.Started()) {
    std::fprintf(stderr, "lab: %s\n", lab.Error().c_str());
    return 1;
  }
  const std::string url = lab.Url("files", "/files/2GB.bin");

  CFileDownSpeed engine;
  double cpu = CpuSeconds(RUSAGE_SELF);
  auto start = Clock::now();
  engine.RunTest({1, true, "2GB", url});
  engine.WaitUntilIdle();
  double wall = Seconds(Clock::now() - start);
  cpu = CpuSeconds(RUSAGE_SELF) - cpu;
  const filedown::FileResult r = engine.LastResult();
  std::printf(
      "engine: %lld bytes in %.2f s (load %.2f s): %.1f MiB/s, %.2f CPU s/GiB, speed %s KB/s\n",
      static_cast<long long>(r.counter), wall, r.loadMs / 1000.0,
      r.counter / 1048576.0 / (r.loadMs / 1000.0), cpu / (r.counter / kGiB),
      filedown::SpeedText(r).c_str());

  double child = CpuSeconds(RUSAGE_CHILDREN);
  start = Clock::now();
  const std::string command = "curl -s -o /dev/null '" + url + "'";
  const int status = std::system(command.c_str());
  wall = Seconds(Clock::now() - start);
  child = CpuSeconds(RUSAGE_CHILDREN) - child;
  std::printf("curl:   exit %d, 2 GiB in %.2f s: %.1f MiB/s, %.2f CPU s/GiB\n",
              WIFEXITED(status) ? WEXITSTATUS(status) : -1, wall, 2048 / wall, child / 2);

  CFileDownSpeed::SetTimingsForTest(10, 0);
  for (const int64_t rate : {int64_t(1) << 20, int64_t(10) << 20, int64_t(100) << 20}) {
    lab.SetFault("files", "/files/2GB.bin", "rate=" + std::to_string(rate));
    lab.Reset("files");
    engine.RunTest({1, true, "2GB", url});
    engine.WaitUntilIdle();
    lab.WaitIdle("files");
    const filedown::FileResult timed = engine.LastResult();
    const auto requests = lab.Requests("files");
    const int64_t sent = requests.empty() ? 0 : requests.back().bodySent;
    const double reported = std::stod(filedown::SpeedText(timed)) * 1024;  // B/s
    const double measured = sent / (timed.loadMs / 1000.0);
    std::printf("rate %4lld MiB/s: reported %.0f B/s, lab sent %lld B (%.0f B/s), ratio %.4f\n",
                static_cast<long long>(rate >> 20), reported, static_cast<long long>(sent),
                measured, reported / measured);
  }
  platform::SetProgramFolder("");
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(folder);
  return 0;
}
