// Renders the updater's windows to PNG files, for people to look at:
//   kestrane-screenshots-update <Skin.zip> <output folder>
// The images come from Image/common of the program folder beside Skin.zip.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPixmap>
#include <atomic>
#include <cstdio>
#include <thread>

#include "updater/end_tip_dlg.h"
#include "updater/prog_dlg.h"

namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool SaveShot(QWidget& w, const QString& out, const char* name) {
  const QString path = out + "/" + name + ".png";
  if (!w.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

// Lets `allowed` files through, then holds the next one until told to stop.
class HeldFetcher : public updater::FileFetcher {
 public:
  HeldFetcher() : FileFetcher(updater::UpdateTiming{}) {}
  bool Prepare() override { return true; }
  bool Fetch(const updater::UpdateFileEntry&) override {
    if (fetched < allowed) return ++fetched, true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return false;
  }
  std::atomic<int> allowed{0}, fetched{0};
  std::atomic<bool> release{false};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <Skin.zip> <output folder>\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  const QString dist =
      QFileInfo(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]))).path();
  const QString out = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[2]));
  QDir().mkpath(out);
  QDir::setCurrent(dist);
  bool ok = true;

  std::vector<updater::UpdateFileEntry> files(4);
  for (int allowed : {0, 3}) {
    HeldFetcher fetcher;
    fetcher.allowed = allowed;
    CProgDlg dlg(files, fetcher);
    dlg.onAbandon = [] {};
    dlg.show();
    QElapsedTimer t;
    t.start();
    while (fetcher.fetched < allowed && t.elapsed() < 5000) Pump(10);
    Pump(100);
    ok &= SaveShot(dlg, out, allowed ? "update-progress-75" : "update-progress-0");
    fetcher.release = true;
    Pump(50);
  }

  CEndTipDlg tip(100000);
  tip.show();
  Pump(100);
  ok &= SaveShot(tip, out, "update-countdown-5");
  tip.findChild<QLabel*>("1001")->setText("3");
  Pump(50);
  ok &= SaveShot(tip, out, "update-countdown-3");
  return ok ? 0 : 1;
}
