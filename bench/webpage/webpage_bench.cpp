// Loads pages of 0, 0.8 and 3 s from the lab's portal role with the web page engine and prints,
// per page, the first-screen time minus the document's own loadEventEnd (mean and max) and
// the process CPU time per test.

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/data_base.h"
#include "lab_fixture.h"
#include "platform/program_folder.h"
#include "test_support.h"
#include "ui/application.h"
#include "webpage/web_speed.h"

namespace {

// Waits in the event loop (not a busy loop, so the CPU figures are the engine's own).
bool PumpUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (done() || t.elapsed() >= ms) loop.quit();
  });
  check.start(10);
  if (!done()) loop.exec();
  return done();
}

// CPU seconds of the renderer processes this program started (children not yet reaped).
double ChildrenCpuSeconds() {
  double total = 0;
  const long tick = sysconf(_SC_CLK_TCK);
  QDir proc("/proc");
  for (const QString& pid : proc.entryList(QDir::Dirs)) {
    QFile stat("/proc/" + pid + "/stat");
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    if (close < 0) continue;
    const QList<QByteArray> f = text.mid(close + 2).split(' ');
    // Fields after the name: state(0) ppid(1) ... utime(11) stime(12).
    if (f.size() > 12 && f[1].toLong() == getpid())
      total += (f[11].toDouble() + f[12].toDouble()) / tick;
  }
  return total;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int loads = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
  webpage::PrepareBrowserEnvironment(true);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  if (!ui::InitToolkit(QString::fromStdString(testsupport::DistPath("Skin.zip")))) return 1;
  LabProcess lab({"--portal"});
  if (!lab.Started()) {
    std::fprintf(stderr, "lab: %s\n", lab.Error().c_str());
    return 1;
  }
  QTemporaryDir folder;
  platform::SetProgramFolder(folder.path().toStdString());
  QDir::setCurrent(folder.path());
  QDir().mkpath("Data");
  UserInfo user;
  user.userType = 6;  // nothing written: the bench times the browser only
  CDataBase::Instance().SetUserInfo(user);

  CWebSpeed engine;
  if (!engine.Create(QPoint(0, 0))) return 1;
  bool ended = false;
  engine.SetEndHandler([&](CWebSpeed::Outcome, const webpage::WebResult&) { ended = true; });
  // A first load starts the renderer; it is not counted.
  engine.RunTest(lab.Url("portal", "/portal/warm/index.html"), 0);
  PumpUntil([&] { return ended; }, 20000);

  std::printf("%-8s %5s %10s %10s %10s %10s %10s %10s\n", "page", "loads", "first_s", "load_ev_s",
              "diff_mean", "diff_max", "cpu_self", "cpu_rend");
  for (int loadMs : {0, 800, 3000}) {
    double sumFirst = 0, sumLoad = 0, sumDiff = 0, maxDiff = -1e9;
    int counted = 0;
    const double cpu0 = CpuSeconds();
    const double rend0 = ChildrenCpuSeconds();
    for (int i = 0; i < loads; ++i) {
      CDataBase::Instance().testBusy = 0;
      ended = false;
      const std::string url = lab.Url(
          "portal", "/portal/bench/index.html?weight=60&parts=8&load=" + std::to_string(loadMs));
      engine.RunTest(url, 0);
      if (!PumpUntil([&] { return ended; }, 20000) ||
          engine.LastOutcome() != CWebSpeed::Outcome::Completed)
        continue;
      double loadEvent = -1;
      bool got = false;
      engine.QueryTimeline([&](double, double le) {
        loadEvent = le;
        got = true;
      });
      PumpUntil([&] { return got; }, 5000);
      if (loadEvent < 0) continue;
      const double first = engine.LastResult().firstScreen;
      const double diff = first - loadEvent / 1000.0;
      sumFirst += first;
      sumLoad += loadEvent / 1000.0;
      sumDiff += diff;
      maxDiff = std::max(maxDiff, diff);
      ++counted;
    }
    const double cpu = (CpuSeconds() - cpu0) / loads;
    const double rend = (ChildrenCpuSeconds() - rend0) / loads;
    if (counted == 0) {
      std::printf("%-8d no completed loads\n", loadMs);
      continue;
    }
    std::printf("%-8.1f %5d %10.3f %10.3f %10.3f %10.3f %10.3f %10.3f\n", loadMs / 1000.0, counted,
                sumFirst / counted, sumLoad / counted, sumDiff / counted, maxDiff, cpu, rend);
  }
  return 0;
}
