// The player on loopback: PLAYS plays (default 20) of the lab's MP4 and FLV clips, unlimited and
// at twice the clip's bitrate: start-up (start call to first frame) median and 95th percentile,
// stalls, CPU seconds per second of video; then `ffmpeg -i URL -f null -` on the same addresses.

#include <sys/resource.h>
#include <sys/wait.h>

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "lab_fixture.h"
#include "test_support.h"
#include "video/player/player_loader.h"

namespace {

using Clock = std::chrono::steady_clock;

double ChildCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
  return v[i];
}

struct Player {
  videoplayer::ControlHandle control;
  std::mutex lock;
  std::condition_variable changed;
  int texts = 0;

  bool PlayOnce(const std::string& url, videoplayer::PlayStatistics* stats) {
    int before;
    {
      std::lock_guard<std::mutex> l(lock);
      before = texts;
    }
    control->CallFunction(videoplayer::StartRequest(url));
    std::unique_lock<std::mutex> l(lock);
    if (!changed.wait_for(l, std::chrono::seconds(60), [&] { return texts > before; }))
      return false;
    *stats = control->Statistics();
    return stats->result.find("VideoInfomation") != std::string::npos &&
           stats->result.find("#true<") != std::string::npos;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int plays = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  QApplication app(argc, argv);
  LabProcess lab({"--video"});
  if (!lab.Started()) {
    std::fprintf(stderr, "lab: %s\n", lab.Error().c_str());
    return 1;
  }
  QWidget parent;
  parent.resize(640, 360);
  Player player;
  std::string error;
  player.control =
      videoplayer::CreatePlayerControl(testsupport::DistPath("libVideoPlayer.so"), &parent, &error);
  if (!player.control) {
    std::fprintf(stderr, "player: %s\n", error.c_str());
    return 1;
  }
  player.control->SetCallback([&player](const std::string&) {
    std::lock_guard<std::mutex> l(player.lock);
    ++player.texts;
    player.changed.notify_all();
  });

  const std::string media = testsupport::DistPath("../lab-media/");
  std::printf(
      "| clip | line | plays | start-up median s | start-up p95 s | stalls | stall s | "
      "CPU s per video s | late frames |\n|---|---|---|---|---|---|---|---|---|\n");
  for (const std::string clip : {"clip.mp4", "clip.flv"}) {
    const double bytes = static_cast<double>(testsupport::ReadFile(media + clip).size());
    const double twiceBitrate = 2 * bytes / 8.0;  // bytes per second for an 8 s clip
    for (const bool limited : {false, true}) {
      lab.ClearFaults("video");
      if (limited)
        lab.SetFault("video", "/media/*",
                     "rate=" + std::to_string(static_cast<long long>(twiceBitrate)));
      std::vector<double> startup;
      int stalls = 0, failed = 0;
      double stallSeconds = 0, cpu = 0, video = 0;
      long long late = 0;
      for (int i = 0; i < plays; ++i) {
        videoplayer::PlayStatistics s;
        if (!player.PlayOnce(lab.Url("video", "/media/bench/" + clip), &s)) {
          ++failed;
          continue;
        }
        startup.push_back(s.loadingSeconds);
        stalls += s.stalls;
        stallSeconds += s.stallSeconds;
        cpu += s.cpuSeconds;
        video += s.mediaSeconds;
        late += s.framesLate + s.framesDropped;
      }
      std::printf("| %s | %s | %d%s | %.3f | %.3f | %d | %.2f | %.4f | %lld |\n", clip.c_str(),
                  limited ? "2x bitrate" : "unlimited", plays - failed,
                  failed ? " (some failed)" : "", Percentile(startup, 0.5),
                  Percentile(startup, 0.95), stalls, stallSeconds, video > 0 ? cpu / video : 0,
                  late);
      std::fflush(stdout);
    }
  }

  std::printf("\n| clip | line | ffmpeg wall s | ffmpeg CPU s per video s |\n|---|---|---|---|\n");
  for (const std::string clip : {"clip.mp4", "clip.flv"}) {
    const double bytes = static_cast<double>(testsupport::ReadFile(media + clip).size());
    for (const bool limited : {false, true}) {
      lab.ClearFaults("video");
      if (limited)
        lab.SetFault("video", "/media/*",
                     "rate=" + std::to_string(static_cast<long long>(2 * bytes / 8.0)));
      const double cpu0 = ChildCpuSeconds();
      const auto t0 = Clock::now();
      int status = 0;
      testsupport::CommandOutput("ffmpeg -nostdin -v error -i '" +
                                     lab.Url("video", "/media/bench/" + clip) + "' -f null - 2>&1",
                                 &status);
      const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
      std::printf("| %s | %s | %.2f | %.4f |\n", clip.c_str(), limited ? "2x bitrate" : "unlimited",
                  wall, (ChildCpuSeconds() - cpu0) / 8.0);
    }
  }
  player.control.reset();
  return 0;
}
