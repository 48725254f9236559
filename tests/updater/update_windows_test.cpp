#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <atomic>
#include <thread>

#include "test_support.h"
#include "updater/end_tip_dlg.h"
#include "updater/prog_dlg.h"
#include "updater/skin_btn.h"

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "update_windows_tests";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

// Lets `allowed` files through; the next one waits until `release`, then fails.
class HeldFetcher : public updater::FileFetcher {
 public:
  HeldFetcher() : FileFetcher(updater::UpdateTiming{}) {}
  bool Prepare() override { return prepared; }
  bool Fetch(const updater::UpdateFileEntry&) override {
    if (fetched < allowed) return ++fetched, true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return false;
  }
  bool prepared = true;
  std::atomic<int> allowed{0}, fetched{0};
  std::atomic<bool> release{false};
};

bool Pump(const std::function<bool()>& until, int ms = 5000) {
  return testsupport::WaitFor(
      [&] {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        return until();
      },
      std::chrono::milliseconds(ms));
}

template <typename T>
T* Child(QWidget& w, const char* id) {
  return w.findChild<T*>(id);
}

TEST(UpdateWindows, ProgressWindowLayout) {
  App();
  HeldFetcher fetcher;
  CProgDlg dlg(std::vector<updater::UpdateFileEntry>(4), fetcher);
  EXPECT_EQ(dlg.objectName(), "129");
  EXPECT_EQ(dlg.size(), QSize(391, 151));
  EXPECT_TRUE(dlg.windowFlags() & Qt::FramelessWindowHint);
  const struct {
    const char* id;
    QRect rect;
  } expected[] = {
      {"1007", {33, 8, 157, 20}},       {"1009", {391 - 39, 0, 38, 23}},
      {"1008", {391 - 67, 0, 29, 20}},  {"1010", {391 - 80, 151 - 27, 70, 22}},
      {"1006", {33, 80, 391 - 66, 10}}, {"1011", {33, 60, 57, 15}},
      {"1012", {75, 60, 45, 15}},
  };
  for (const auto& e : expected) {
    QWidget* w = dlg.findChild<QWidget*>(e.id);
    ASSERT_NE(w, nullptr) << e.id;
    EXPECT_EQ(w->geometry(), e.rect) << e.id;
  }
  EXPECT_EQ(Child<QLabel>(dlg, "1007")->text(), "Orvessa正在升级");
  EXPECT_TRUE(Child<QLabel>(dlg, "1007")->font().bold());
  EXPECT_EQ(Child<QLabel>(dlg, "1007")->font().pixelSize(), 12);
  EXPECT_EQ(Child<QLabel>(dlg, "1011")->text(), "总进度:");
  EXPECT_EQ(Child<QLabel>(dlg, "1012")->text(), "0%");
  EXPECT_EQ(Child<QLabel>(dlg, "1012")->palette().color(QPalette::WindowText), QColor(10, 10, 10));
  // The buttons show only their images.
  for (const char* id : {"1008", "1009", "1010"})
    EXPECT_TRUE(Child<CSkinBtn>(dlg, id)->text().isEmpty());
  fetcher.release = true;
}

TEST(UpdateWindows, ProgressShowsDoneFilesAndEndsWithTheResult) {
  App();
  HeldFetcher fetcher;
  fetcher.allowed = 3;
  CProgDlg dlg(std::vector<updater::UpdateFileEntry>(4), fetcher);
  int result = -1;
  QObject::connect(&dlg, &QDialog::finished, [&](int r) { result = r; });
  dlg.show();
  ASSERT_TRUE(Pump([&] { return Child<QLabel>(dlg, "1012")->text() == "75%"; }));
  EXPECT_EQ(Child<QProgressBar>(dlg, "1006")->value(), 3);
  EXPECT_EQ(Child<QProgressBar>(dlg, "1006")->maximum(), 4);
  EXPECT_EQ(result, -1);   // the fourth file is still coming
  fetcher.release = true;  // and then fails
  ASSERT_TRUE(Pump([&] { return result != -1; }));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Child<QLabel>(dlg, "1012")->text(), "75%");
}

TEST(UpdateWindows, EmptyListEndsAtOnceWithZeroAndUnreadableSettingsWithOne) {
  App();
  {
    HeldFetcher fetcher;
    CProgDlg dlg({}, fetcher);
    QTimer::singleShot(5000, &dlg, [&] { dlg.done(99); });  // a bound, not a wait
    EXPECT_EQ(dlg.exec(), 0);
  }
  {
    HeldFetcher fetcher;
    fetcher.prepared = false;
    CProgDlg dlg(std::vector<updater::UpdateFileEntry>(2), fetcher);
    QTimer::singleShot(5000, &dlg, [&] { dlg.done(99); });
    EXPECT_EQ(dlg.exec(), 1);
    EXPECT_EQ(fetcher.fetched, 0);
  }
}

TEST(UpdateWindows, CancelAndCloseAbandonTheUpdate) {
  App();
  for (const char* id : {"1010", "1009"}) {
    HeldFetcher fetcher;
    CProgDlg dlg(std::vector<updater::UpdateFileEntry>(2), fetcher);
    int abandoned = 0;
    dlg.onAbandon = [&] {
      ++abandoned;
      fetcher.release = true;
    };
    int result = -1;
    QObject::connect(&dlg, &QDialog::finished, [&](int r) { result = r; });
    dlg.show();
    Child<CSkinBtn>(dlg, id)->click();
    EXPECT_EQ(result, 1) << id;
    EXPECT_EQ(abandoned, 1) << id;
  }
}

TEST(UpdateWindows, CountdownShowsFourToZeroThenClosesWithOne) {
  App();
  CEndTipDlg dlg(60);
  EXPECT_EQ(dlg.objectName(), "101");
  EXPECT_EQ(dlg.size(), QSize(300, 200));
  EXPECT_TRUE(dlg.windowFlags() & Qt::Tool);  // no taskbar button
  QLabel* digit = Child<QLabel>(dlg, "1001");
  ASSERT_NE(digit, nullptr);
  EXPECT_EQ(digit->geometry(), QRect(138, 110, 30, 30));
  EXPECT_EQ(digit->palette().color(QPalette::WindowText), QColor(255, 37, 37));
  EXPECT_EQ(digit->font().pixelSize(), 30);
  EXPECT_EQ(Child<QLabel>(dlg, "1003")->text(),
            "软件已更新到最新版本，5秒倒计时后，软件将自动重启...");
  EXPECT_EQ(Child<QLabel>(dlg, "1003")->geometry(), QRect(33, 60, 234, 40));
  EXPECT_EQ(Child<QLabel>(dlg, "1005")->geometry(), QRect(100, 120, 30, 15));
  EXPECT_EQ(Child<QLabel>(dlg, "1004")->geometry(), QRect(170, 120, 15, 15));
  EXPECT_EQ(Child<QLabel>(dlg, "1002")->text(), "Orvessa");

  for (int round = 0; round < 2; ++round) {  // shown again, it counts from 5 again
    QStringList seen;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      if (seen.isEmpty() || seen.last() != digit->text()) seen << digit->text();
    });
    probe.start(1);
    QTimer::singleShot(10000, &dlg, [&] { dlg.done(99); });
    EXPECT_EQ(dlg.exec(), 1);
    EXPECT_EQ(seen.join(","), "5,4,3,2,1,0") << "round " << round;
  }
}

}  // namespace
