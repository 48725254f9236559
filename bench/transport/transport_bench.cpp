// Download throughput of CHttpDownloadGet against kestrane-lab on loopback, beside five
// parallel curl processes fetching the same file for the same time.
//
//   transport_bench [--seconds N] [--file /speed/133MB.rar] [--threads 5]

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/http_download_get.h"
#include "lab_fixture.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// User + system CPU seconds of another process so far.
double ProcessCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string f;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> f; ++i) {
    if (i == 14) utime = std::stoll(f);
    if (i == 15) stime = std::stoll(f);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Runs curl once; the bytes it received.
long long CurlOnce(const std::string& url, double maxSeconds) {
  int out[2];
  if (pipe(out) != 0) return 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char seconds[32];
  snprintf(seconds, sizeof seconds, "%.3f", maxSeconds);
  std::vector<std::string> args = {"curl", "-s", "-o", "/dev/null", "-w", "%{size_download}",
                                   "--max-time", seconds, url};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, "curl", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char buf[256];
  ssize_t n;
  while (rc == 0 && (n = read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  if (rc == 0) waitpid(pid, nullptr, 0);
  return atoll(text.c_str());
}

void Report(const char* name, long long bytes, double seconds, double clientCpu, double labCpu) {
  double gib = static_cast<double>(bytes) / (1024.0 * 1024 * 1024);
  printf("%-22s %8.2f GiB in %5.2f s = %6.3f GB/s  client CPU %5.2f s/GiB  lab CPU %5.2f s/GiB\n", name, gib,
         seconds, static_cast<double>(bytes) / seconds / 1e9, gib > 0 ? clientCpu / gib : 0.0,
         gib > 0 ? labCpu / gib : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 20;
  std::string file = "/speed/133MB.rar";
  int threads = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--seconds") seconds = atof(argv[i + 1]);
    else if (a == "--file") file = argv[i + 1];
    else if (a == "--threads") threads = atoi(argv[i + 1]);
  }
  LabProcess lab({"--test"});
  if (!lab.Started()) {
    fprintf(stderr, "lab: %s\n", lab.Error().c_str());
    return 1;
  }
  std::string url = lab.Url("test", file);
  printf("%s, %d connections, %.0f s each, %u cores\n", url.c_str(), threads, seconds,
         std::thread::hardware_concurrency());

  // Download.
  CHttpDownloadGet::SetDurationsForTest(static_cast<int>(seconds * 1000), 0);
  double cpu0 = CpuSeconds(RUSAGE_SELF), lab0 = ProcessCpuSeconds(lab.Pid());
  auto t0 = Clock::now();
  CHttpDownloadGet client;
  client.Download(url, threads);
  double took = std::chrono::duration<double>(Clock::now() - t0).count();
  Report("Download", CHttpDownloadGet::DownloadTotal().load(), took, CpuSeconds(RUSAGE_SELF) - cpu0,
         ProcessCpuSeconds(lab.Pid()) - lab0);

  // Five curl loops for the same time.
  std::atomic<long long> curlBytes{0};
  double child0 = CpuSeconds(RUSAGE_CHILDREN);
  lab0 = ProcessCpuSeconds(lab.Pid());
  t0 = Clock::now();
  auto deadline = t0 + std::chrono::duration<double>(seconds);
  std::vector<std::thread> workers;
  for (int i = 0; i < threads; ++i)
    workers.emplace_back([&] {
      for (;;) {
        double left = std::chrono::duration<double>(deadline - Clock::now()).count();
        if (left <= 0.01) break;
        curlBytes += CurlOnce(url, left);
      }
    });
  for (auto& w : workers) w.join();
  took = std::chrono::duration<double>(Clock::now() - t0).count();
  Report("curl -o /dev/null x5", curlBytes.load(), took, CpuSeconds(RUSAGE_CHILDREN) - child0,
         ProcessCpuSeconds(lab.Pid()) - lab0);
  return 0;
}
