// The file download page and its rate chart: the chart drawn to an image, and the page standing
// alone in a small host window, driven as a user would against the lab's file server.

#include "filedown/file_down_ui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <memory>

#include "core/data_base.h"
#include "filedown/tee_chart_ui.h"
#include "lab_fixture.h"
#include "test_support.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/skin.h"
#include "ui/window.h"

namespace {

bool PumpUntil(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

ui::CWindowWnd* OpenWindow(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == name && w->isVisible()) return qobject_cast<ui::CWindowWnd*>(w);
  return nullptr;
}

bool IsRed(QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; }

// 11 columns of 44 px and 9 rows of 32 px, as in the page's layout.
constexpr int kW = 484;
constexpr int kH = 288;

TEST(TeeChart, PlacesRatesOnTheSteppedScaleAndShiftsTheLine) {
  CTeeChartUI chart;
  chart.SetPicture("");  // plain white, so the pixels below are the chart's own
  chart.resize(kW, kH);
  const float band = kH / 9.0f;
  chart.AddSample(131072);  // 128 KB/s: one band
  chart.AddSample(262144);  // 256 KB/s: two bands
  chart.AddSample(262145);  // just above: the third band starts
  chart.AddSample(524288);  // 512 KB/s: four bands
  chart.AddSample(16384ull * 1024);
  chart.AddSample(16384ull * 1024 + 1);  // above the scale: the top edge
  chart.AddSample(0);
  chart.AddSample(uint64_t{1} << 40);  // beyond 32 bits
  const QVector<QPointF>& pts = chart.Points();
  ASSERT_EQ(pts.size(), 8);
  EXPECT_NEAR(pts[0].y(), kH - band, 0.01);
  EXPECT_NEAR(pts[1].y(), kH - 2 * band, 0.01);
  EXPECT_NEAR(pts[2].y(), kH - 3 * band, 0.02);
  EXPECT_NEAR(pts[3].y(), kH - 4 * band, 0.01);
  EXPECT_NEAR(pts[4].y(), 0.0, 0.01);
  EXPECT_NEAR(pts[5].y(), 0.0, 0.01);
  EXPECT_NEAR(pts[6].y(), kH, 0.01);
  EXPECT_NEAR(pts[7].y(), 0.0, 0.01);
  // Each sample moves the older ones left by one column; the newest stands at W - 1. Points
  // that have left the control stay until the chart is cleared.
  const double step = kW / 11.0;
  for (int k = 0; k < 8; ++k) EXPECT_NEAR(pts[k].x(), kW - 1 - (7 - k) * step, 0.01) << k;

  const QImage image = chart.Render();
  ASSERT_EQ(image.size(), QSize(kW, kH));
  // Outer grid lines are two pixels of forest green, inner ones one pixel.
  EXPECT_EQ(image.pixel(0, 100), 0xFF228B22u);
  EXPECT_EQ(image.pixel(100, 0), 0xFF228B22u);
  EXPECT_EQ(image.pixel(kW - 1, 100), 0xFF228B22u);
  EXPECT_EQ(image.pixel(100, kH - 1), 0xFF228B22u);
  const QRgb inner = image.pixel(66, 128);  // the inner row line j = 4, half on this pixel
  EXPECT_GT(qGreen(inner), qRed(inner) + 40);
  EXPECT_EQ(image.pixel(66, 150), 0xFFFFFFFFu) << "between the lines the background shows";
  // A 6-px dot on every point inside, the 2-px line between them.
  for (int k = 1; k <= 3; ++k)
    EXPECT_TRUE(IsRed(image.pixel(qRound(pts[k].x()), qRound(pts[k].y()) + 1))) << k;
  const QPointF mid = (pts[1] + pts[3]) / 2;
  EXPECT_TRUE(IsRed(image.pixel(qRound(pts[2].x()) + 10, qRound((pts[2].y() + pts[3].y()) / 2))) ||
              IsRed(image.pixel(qRound(mid.x()), qRound(mid.y()))));

  chart.Clear();
  EXPECT_TRUE(chart.Points().isEmpty());
  const QImage empty = chart.Render();
  for (int x = 1; x < kW - 1; x += 7)
    for (int y = 1; y < kH - 1; y += 5) ASSERT_FALSE(IsRed(empty.pixel(x, y))) << x << "," << y;
}

// Counts the chart's paints.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST(TeeChart, RepaintsEveryTenthOfASecondWhileAnimating) {
  CTeeChartUI chart;
  chart.resize(kW, kH);
  chart.show();
  PaintCounter counter;
  chart.installEventFilter(&counter);
  ASSERT_TRUE(PumpUntil([&] { return counter.paints > 0; }, 2000));
  chart.SetAnimating(true);
  counter.paints = 0;
  QElapsedTimer t;
  t.start();
  ASSERT_TRUE(PumpUntil([&] { return counter.paints >= 5; }, 3000));
  EXPECT_GE(t.elapsed(), 350) << "five paints take at least four intervals";
  chart.SetAnimating(false);
  EXPECT_FALSE(chart.IsAnimating());
  PumpUntil([] { return false; }, 150);
  counter.paints = 0;
  PumpUntil([] { return false; }, 350);
  EXPECT_EQ(counter.paints, 0) << "no repaints once the animation stops";
}

const char kHost[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>420</height></rect></property>
 <widget class="FileDown_Speed" name="FileDown_Page">
  <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>420</height></rect></property>
 </widget>
</widget></ui>)";

class FileDownPage : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("Skin.zip");
    ASSERT_TRUE(ui::SetResourceZip(QString::fromStdString(At("Skin.zip"))));
    UserInfo user;
    user.userId = "1234";
    CDataBase::Instance().SetUserInfo(user);
    CDataBase::Instance().testBusy.store(0);
    CFileDownSpeed::SetNetworkAliveForTest(1);
    CFileDownSpeed::SetTimingsForTest(5, 200);
    m_lab = std::make_unique<LabProcess>(std::vector<std::string>{"--files"});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    Write("Config\\settings1234.xml",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings><tasks>"
          "<module id=\"1\" selected=\"true\"><item id=\"9\" selected=\"true\" name=\"带宽\">"
          "x</item></module><module id=\"4\" selected=\"true\">"
          "<item id=\"7\" selected=\"true\" name=\"安装程序\">" +
              m_lab->Url("files", "/files/1000001B.exe") +
              "</item><item id=\"3\" selected=\"false\" name=\"小文件\">" +
              m_lab->Url("files", "/files/1000000B.bin") + "</item></module></tasks></settings>");

    m_host.reset(ui::CDialogBuilder::CreateFromText(
        kHost,
        [this](const QString& cls, QWidget* parent) -> QWidget* {
          if (cls != CFileDownUI::kPageClass) return nullptr;
          m_page = CFileDownUI::Build(parent);
          return m_page;
        },
        nullptr));
    ASSERT_NE(m_host, nullptr);
    ASSERT_NE(m_page, nullptr);
    m_host->show();
    m_page->OnMainWindowInit();
    m_page->OnLogin();
  }
  void TearDown() override {
    if (m_page) m_page->Engine()->WaitUntilIdle();
    m_host.reset();
    CFileDownSpeed::SetTimingsForTest(0, 0);
    CFileDownSpeed::SetNetworkAliveForTest(-1);
    m_lab.reset();
    ProgramFolderTest::TearDown();
  }

  QString Text(const char* name) { return ui::Text(m_page->FindControl(name)); }
  QPushButton* Button() { return m_page->Find<QPushButton>("FileDown_Handle_btn"); }
  void PressStart() { QTest::mousePress(Button(), Qt::LeftButton); }
  QStringList Labels() {
    QStringList texts;
    for (const char* name :
         {"FileDown_DownloadedSize_lab", "FileDown_TotalSize_lab", "FileDown_ConnectTime_lab",
          "FileDown_DownloadTime_lab", "FileDown_AverageSpeed_lab"})
      texts << Text(name);
    return texts;
  }
  // Waits for the warning, checks its text, and closes it. The warning is modal: it runs its
  // own loop inside the posted event, so a timer inside that loop answers it.
  void ExpectWarning(const QString& message) {
    QString seen;
    bool modal = false;
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
      if (ui::CWindowWnd* dlg = OpenWindow("Warning Dialog")) {
        seen = ui::Text(dlg->FindControl("warning_text"));
        modal = dlg->IsModalRunning();
        dlg->Close(1);
      }
    });
    answer.start();
    ASSERT_TRUE(PumpUntil([&] { return !seen.isEmpty() && !OpenWindow("Warning Dialog"); }))
        << "no warning";
    EXPECT_EQ(seen, message);
    EXPECT_TRUE(modal);
  }

  std::unique_ptr<LabProcess> m_lab;
  std::unique_ptr<QWidget> m_host;
  CFileDownUI* m_page = nullptr;
};

TEST_F(FileDownPage, FillsTheFileTypesAndTestsTheChosenOne) {
  EXPECT_EQ(CFileDownUI::Instance(), m_page);
  auto* combo = m_page->Find<QComboBox>("FileDown_Operators_CB");
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0), "安装程序");
  EXPECT_EQ(combo->itemText(1), "小文件");
  EXPECT_TRUE(Text("FileDown_WWW_edit").isEmpty()) << "filling is not a choice";
  combo->setCurrentIndex(1);
  EXPECT_EQ(Text("FileDown_WWW_edit").toStdString(), m_lab->Url("files", "/files/1000000B.bin"));
  combo->setCurrentIndex(0);
  const std::string address = m_lab->Url("files", "/files/1000001B.exe");
  EXPECT_EQ(Text("FileDown_WWW_edit").toStdString(), address);

  // A typed address that matches no item exactly is tested as "其他" with id 0.
  settings::ModuleItem other = m_page->ItemFor(address + " ");
  EXPECT_EQ(other.id, 0);
  EXPECT_EQ(other.name, "其他");
  EXPECT_EQ(m_page->ItemFor(address).id, 7);

  PressStart();
  EXPECT_FALSE(Button()->isEnabled());
  EXPECT_TRUE(m_page->Chart()->Points().isEmpty());
  ASSERT_TRUE(PumpUntil([&] { return Button()->isEnabled(); }));
  const QStringList labels = Labels();
  EXPECT_EQ(labels[0], "976.56");
  EXPECT_EQ(labels[1], "976.56");
  EXPECT_NE(labels[2], "--");
  EXPECT_NE(labels[3], "--");
  EXPECT_NE(labels[4], "--");
  EXPECT_FALSE(m_page->Chart()->IsAnimating());
  EXPECT_FALSE(m_page->Chart()->Points().isEmpty());
  EXPECT_EQ(m_page->Engine()->LastResult().itemId, 7);
  EXPECT_EQ(m_page->Engine()->LastResult().name, "安装程序");
  EXPECT_EQ(OpenWindow("Warning Dialog"), nullptr);

  // The record is written and handed over after the end; until then a press is ignored.
  ASSERT_TRUE(PumpUntil([&] { return CDataBase::Instance().testBusy.load() == 0; }));
  // The next start clears the chart and the labels first.
  combo->setCurrentIndex(1);
  PressStart();
  EXPECT_TRUE(m_page->Chart()->Points().isEmpty());
  EXPECT_EQ(Labels(), QStringList({"--", "--", "--", "--", "--"}));
  ExpectWarning("获取文件大小失败，文件不能被下载！");
  ASSERT_TRUE(PumpUntil([&] { return Button()->isEnabled(); }));
  EXPECT_EQ(m_page->Engine()->LastResult().itemId, 3);
}

TEST_F(FileDownPage, WarnsOfAMissingNetworkAndOfAnUnknownAddress) {
  ui::SetText(m_page->FindControl("FileDown_WWW_edit"), "not an address");
  PressStart();
  ExpectWarning("获取文件大小失败，文件不能被下载！");
  ASSERT_TRUE(PumpUntil([&] { return Button()->isEnabled(); }));
  EXPECT_EQ(m_page->Engine()->LastResult().name, "其他");

  CFileDownSpeed::SetNetworkAliveForTest(0);
  ui::SetText(m_page->FindControl("FileDown_WWW_edit"),
              QString::fromStdString(m_lab->Url("files", "/files/2MB.bin")));
  PressStart();
  ExpectWarning("网络异常，请检查网络后重试！");
  ASSERT_TRUE(PumpUntil([&] { return Button()->isEnabled(); }));
  EXPECT_EQ(Labels(), QStringList({"--", "--", "--", "--", "--"}));
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);

  // A press while another test holds the machine does nothing.
  CFileDownSpeed::SetNetworkAliveForTest(1);
  CDataBase::Instance().testBusy.store(1);
  PressStart();
  EXPECT_TRUE(Button()->isEnabled());
  CDataBase::Instance().testBusy.store(0);
}

TEST_F(FileDownPage, ClosingThePageMidTestDoesNotWaitForTheDownload) {
  ASSERT_TRUE(m_lab->SetFault("files", "/files/20MB.bin", "rate=262144"));
  ui::SetText(m_page->FindControl("FileDown_WWW_edit"),
              QString::fromStdString(m_lab->Url("files", "/files/20MB.bin")));
  PressStart();
  ASSERT_TRUE(PumpUntil([&] { return m_page->Chart()->IsAnimating(); }));
  EXPECT_NE(Labels()[1], "--");
  QElapsedTimer t;
  t.start();
  m_page = nullptr;
  m_host.reset();
  EXPECT_LT(t.elapsed(), 1000);
  EXPECT_EQ(CFileDownUI::Instance(), nullptr);
  // The test's worker still reports; nothing may reach the page that is gone.
  PumpUntil([] { return CDataBase::Instance().testBusy.load() == 0; }, 20000);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
}

}  // namespace
