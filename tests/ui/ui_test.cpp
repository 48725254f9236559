// The toolkit binding: skins from zip files, windows built from layouts, notifications, modal
// results, timers, posted messages and the hand-over from worker threads.

#include <gtest/gtest.h>
#include <zip.h>

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest/QTest>
#include <atomic>
#include <map>
#include <thread>

#include "test_support.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/message_box.h"
#include "ui/skin.h"
#include "ui/thread.h"
#include "ui/tray_icon.h"
#include "ui/window.h"

namespace {

bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

void MakeZip(const std::string& path, const std::map<std::string, QByteArray>& files) {
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(z, nullptr);
  for (const auto& [name, data] : files) {
    // libzip keeps the buffer until zip_close; give it its own copy.
    void* copy = malloc(data.size() ? data.size() : 1);
    memcpy(copy, data.constData(), data.size());
    zip_source_t* src = zip_source_buffer(z, copy, data.size(), 1);
    ASSERT_GE(zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8), 0);
  }
  ASSERT_EQ(zip_close(z), 0);
}

QByteArray Png(QColor color) {
  QImage image(8, 8, QImage::Format_ARGB32);
  image.fill(color);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

QByteArray Widget(const char* cls, const char* name, int x, int y, int w, int h,
                  const char* extra = "") {
  return QString(R"(  <widget class="%1" name="%2">
   <property name="geometry"><rect><x>%3</x><y>%4</y><width>%5</width><height>%6</height></rect></property>%7
  </widget>
)")
      .arg(cls, name)
      .arg(x)
      .arg(y)
      .arg(w)
      .arg(h)
      .arg(extra)
      .toUtf8();
}

QByteArray Layout(const char* root, int w, int h, const QByteArray& children,
                  const char* custom = "") {
  return QString(R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>%1</class>
 <widget class="QWidget" name="%1">
  <property name="geometry"><rect><x>0</x><y>0</y><width>%2</width><height>%3</height></rect></property>
  <property name="minimumSize"><size><width>%2</width><height>%3</height></size></property>
  <property name="maximumSize"><size><width>%2</width><height>%3</height></size></property>
%4 </widget>
 <customwidgets>%5</customwidgets>
</ui>
)")
      .arg(root)
      .arg(w)
      .arg(h)
      .arg(QString::fromUtf8(children), custom)
      .toUtf8();
}

const char kCustom[] = R"(
  <customwidget><class>TeeChart</class><extends>QWidget</extends></customwidget>
  <customwidget><class>SubPage</class><extends>QWidget</extends></customwidget>
  <customwidget><class>Mystery</class><extends>QWidget</extends></customwidget>)";

struct Note {
  QString type, sender;
  int wParam, eventType;
};

class Recorder {
 public:
  std::vector<Note> notes;
  int Count(const QString& type, const QString& sender = {}) const {
    int n = 0;
    for (const auto& note : notes)
      if (note.type == type && (sender.isEmpty() || note.sender == sender)) ++n;
    return n;
  }
  const Note* Last(const QString& type) const {
    for (auto it = notes.rbegin(); it != notes.rend(); ++it)
      if (it->type == type) return &*it;
    return nullptr;
  }
};

class SubPage : public ui::CLayoutWidget, public Recorder {
 public:
  explicit SubPage(QWidget* parent) : ui::CLayoutWidget(parent) { CreateFromLayout("Sub.xml"); }

 protected:
  void Notify(ui::TNotifyUI& msg) override {
    notes.push_back({msg.sType, msg.senderName, msg.wParam, msg.eventType});
  }
};

class TestWindow : public ui::CWindowWnd, public Recorder {
 public:
  explicit TestWindow(QWidget* parent = nullptr) : ui::CWindowWnd(parent) {}
  std::vector<int> timerTicks;
  std::vector<std::tuple<int, qintptr, qintptr, bool>> messages;
  int stopTimerAfter = 3;

 protected:
  QWidget* CreateControl(const QString& cls, QWidget* parent) override {
    if (cls == "TeeChart") {
      auto* w = new QLabel(parent);
      w->setProperty("madeByProgram", true);
      return w;
    }
    if (cls == "SubPage") return new SubPage(parent);
    return nullptr;
  }
  void Notify(ui::TNotifyUI& msg) override {
    notes.push_back({msg.sType, msg.senderName, msg.wParam, msg.eventType});
  }
  void OnTimer(int id) override {
    timerTicks.push_back(id);
    if (static_cast<int>(timerTicks.size()) == stopTimerAfter) KillTimer(id);
  }
  bool HandleMessage(int message, qintptr w, qintptr l) override {
    messages.emplace_back(message, w, l, ui::IsWindowThread());
    return true;
  }
};

class Binding : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    QByteArray children = Widget("QPushButton", "Test_Ok_btn", 10, 10, 80, 24) +
                          Widget("QCheckBox", "Test_Option_chk", 10, 40, 80, 24) +
                          Widget("QComboBox", "Test_List_cmb", 10, 70, 120, 24) +
                          Widget("QLineEdit", "Test_Name_Edit", 10, 100, 120, 24) +
                          Widget("QLabel", "Test_Image_Lab", 10, 130, 40, 40) +
                          Widget("TeeChart", "Test_Chart", 150, 10, 100, 60) +
                          Widget("Mystery", "Test_Mystery", 150, 80, 40, 40) +
                          Widget("SubPage", "Test_Sub", 150, 130, 100, 50) +
                          Widget("QStackedWidget", "Test_tab", 260, 10, 30, 30,
                                 R"(<widget class="QWidget" name="Test_Page0"/>
                                    <widget class="QWidget" name="Test_Page1"/>)");
    MakeZip(
        At("Skin.zip"),
        {{"Test.xml", Layout("TestRoot", 300, 200, children, kCustom)},
         {"Sub.xml", Layout("SubRoot", 100, 50, Widget("QPushButton", "Sub_btn", 0, 0, 60, 24))},
         {"style.qss", "* { font-size: 12px; }"},
         {"Test.qss", "#Test_Ok_btn { color: #123456; }"},
         {"img/dot.png", Png(Qt::red)},
         {"../escape.qss", "x"}});
    ASSERT_TRUE(ui::SetResourceZip(QString::fromStdString(At("Skin.zip"))));
  }

  std::unique_ptr<TestWindow> Shown() {
    auto w = std::make_unique<TestWindow>();
    EXPECT_TRUE(w->Create("Test.xml", "TestDlg"));
    w->show();
    EXPECT_TRUE(PumpUntil([&] { return w->WindowInitDone(); }));
    return w;
  }
};

TEST_F(Binding, SkinsComeFromZipFilesOnly) {
  EXPECT_TRUE(ui::SkinFileExists("img\\dot.png"));
  EXPECT_FALSE(ui::ReadSkinFile("Test.xml").isEmpty());
  // An entry that points outside the unpack folder is dropped.
  QString folder = QFileInfo(ui::SkinFilePath("style.qss")).path();
  EXPECT_FALSE(QFileInfo::exists(folder + "/../escape.qss"));
  EXPECT_TRUE(ui::SkinFilePath("../escape.qss").isEmpty());

  Write("bad.zip", "this is not a zip file");
  EXPECT_FALSE(ui::SetResourceZip(QString::fromStdString(At("bad.zip"))));
  EXPECT_FALSE(ui::SetResourceZip(QString::fromStdString(At("missing.zip"))));
  EXPECT_TRUE(ui::SkinFileExists("Test.xml"));  // the skin opened before stays

  ui::CDialogBuilder builder;
  EXPECT_EQ(builder.Create("Nothing.xml"), nullptr);
  EXPECT_EQ(ui::CDialogBuilder::CreateFromText("<ui><widget", {}, nullptr), nullptr);
}

TEST_F(Binding, WindowsAreBuiltFromLayoutsWithTheProgramsControls) {
  TestWindow w;
  ASSERT_TRUE(w.Create("Test.xml", "TestDlg"));
  EXPECT_EQ(w.objectName(), "TestDlg");
  EXPECT_TRUE(w.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(w.size(), QSize(300, 200));
  EXPECT_NE(w.Find<QPushButton>("Test_Ok_btn"), nullptr);
  EXPECT_NE(w.Find<QCheckBox>("Test_Option_chk"), nullptr);
  EXPECT_NE(w.Find<QComboBox>("Test_List_cmb"), nullptr);
  EXPECT_NE(w.Find<QLineEdit>("Test_Name_Edit"), nullptr);
  ASSERT_NE(w.FindControl("Test_Chart"), nullptr);
  EXPECT_TRUE(w.FindControl("Test_Chart")->property("madeByProgram").toBool());
  EXPECT_NE(w.FindControl("Test_Mystery"), nullptr);  // unknown class: a plain container
  EXPECT_NE(w.FindControl("Sub_btn"), nullptr);
  EXPECT_EQ(w.FindControl("TestRoot"), w.Root());
  EXPECT_EQ(w.FindControl("Nope"), nullptr);
  EXPECT_TRUE(w.styleSheet().contains("#123456"));
  // No window notification before the window is shown.
  QApplication::processEvents();
  EXPECT_EQ(w.Count("windowinit"), 0);
}

TEST_F(Binding, ControlsReportWhatTheUserDoes) {
  auto w = Shown();
  QApplication::processEvents();
  EXPECT_EQ(w->Count("windowinit"), 1);
  EXPECT_EQ(w->notes.front().sender, "TestRoot");

  QTest::mouseClick(w->Find<QPushButton>("Test_Ok_btn"), Qt::LeftButton);
  EXPECT_EQ(w->Count("click", "Test_Ok_btn"), 1);
  EXPECT_EQ(w->Count("buttondown", "Test_Ok_btn"), 1);
  EXPECT_EQ(w->Last("buttondown")->eventType, ui::kEventButtonDown);

  QTest::mouseClick(w->Find<QCheckBox>("Test_Option_chk"), Qt::LeftButton, {}, QPoint(8, 12));
  EXPECT_EQ(w->Count("click", "Test_Option_chk"), 1);
  ASSERT_NE(w->Last("selectchanged"), nullptr);
  EXPECT_EQ(w->Last("selectchanged")->wParam, 1);

  auto* combo = w->Find<QComboBox>("Test_List_cmb");
  combo->addItems({"a", "b", "c"});
  combo->setCurrentIndex(2);
  EXPECT_EQ(w->Last("itemselect")->sender, "Test_List_cmb");
  EXPECT_EQ(w->Last("itemselect")->wParam, 2);

  auto* edit = w->Find<QLineEdit>("Test_Name_Edit");
  w->activateWindow();
  edit->setFocus();
  QApplication::processEvents();
  EXPECT_GE(w->Count("setfocus", "Test_Name_Edit"), 1);
  QTest::keyClicks(edit, "ab");
  EXPECT_EQ(w->Count("textchanged", "Test_Name_Edit"), 2);
  edit->setText("set by the program");
  EXPECT_EQ(w->Count("textchanged", "Test_Name_Edit"), 2);
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(w->Count("return", "Test_Name_Edit"), 1);

  QTest::mouseDClick(w->FindControl("Test_Image_Lab"), Qt::LeftButton);
  EXPECT_EQ(w->Count("dbclick", "Test_Image_Lab"), 1);
  EXPECT_EQ(w->Last("dbclick")->eventType, ui::kEventDoubleClick);

  // A nested page hears its own controls; the window does not.
  auto* sub = dynamic_cast<SubPage*>(w->FindControl("Test_Sub"));
  ASSERT_NE(sub, nullptr);
  QTest::mouseClick(w->Find<QPushButton>("Sub_btn"), Qt::LeftButton);
  EXPECT_EQ(sub->Count("click", "Sub_btn"), 1);
  EXPECT_EQ(w->Count("click", "Sub_btn"), 0);
  EXPECT_EQ(sub->Count("windowinit"), 1);
}

TEST_F(Binding, ShowModalReturnsWhatCloseWasGiven) {
  TestWindow w;
  ASSERT_TRUE(w.Create("Test.xml", "TestDlg"));
  QTimer::singleShot(0, &w, [&] {
    EXPECT_TRUE(w.IsModalRunning());
    w.Close(7);
  });
  EXPECT_EQ(w.ShowModal(), 7);
  EXPECT_FALSE(w.isVisible());
  EXPECT_FALSE(w.IsModalRunning());

  // Closing through the window manager ends the modal loop with 0.
  QTimer::singleShot(0, &w, [&] { w.close(); });
  EXPECT_EQ(w.ShowModal(), 0);
}

TEST_F(Binding, CentredWindowsStayOnTheScreen) {
  QWidget owner;
  owner.resize(400, 300);
  owner.move(-539, -659);  // where the main window waits, off screen
  owner.show();
  TestWindow w(&owner);
  ASSERT_TRUE(w.Create("Test.xml", "TestDlg"));
  w.CenterWindow();
  QRect work = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(work.contains(w.frameGeometry()))
      << w.frameGeometry().x() << "," << w.frameGeometry().y();
}

TEST_F(Binding, WindowTimersTickUntilKilled) {
  TestWindow w;
  ASSERT_TRUE(w.Create("Test.xml", "TestDlg"));
  w.SetTimer(5, 10);
  EXPECT_TRUE(w.HasTimer(5));
  ASSERT_TRUE(PumpUntil([&] { return w.timerTicks.size() >= 3; }));
  EXPECT_FALSE(w.HasTimer(5));
  // A slower timer ticks twice; the killed one must not have ticked meanwhile.
  w.stopTimerAfter = 5;
  w.SetTimer(6, 30);
  ASSERT_TRUE(PumpUntil([&] { return w.timerTicks.size() >= 5; }));
  EXPECT_EQ(w.timerTicks, std::vector<int>({5, 5, 5, 6, 6}));
}

TEST_F(Binding, WorkersReachTheWindowThread) {
  auto w = Shown();
  std::atomic<bool> posted{false}, postedOnWindowThread{false}, done{false};
  std::atomic<int> answer{0};
  std::thread worker([&] {
    w->PostMessage(ui::kTrayCallbackMessage, ui::kTrayIconId, ui::kMouseLeftDoubleClick);
    ui::Post([&] {
      postedOnWindowThread = ui::IsWindowThread();
      posted = true;
    });
    answer = ui::Ask([] { return ui::IsWindowThread() ? 42 : -1; });
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done && posted && !w->messages.empty(); }));
  worker.join();
  EXPECT_EQ(answer, 42);
  EXPECT_TRUE(postedOnWindowThread);
  ASSERT_EQ(w->messages.size(), 1u);
  EXPECT_EQ(w->messages[0], std::make_tuple(1025, qintptr(100), qintptr(515), true));
  // On the window thread itself Ask answers at once.
  EXPECT_EQ(ui::Ask([] { return 5; }), 5);
}

TEST_F(Binding, ImagesTextsTrayAndMessageBoxes) {
  auto w = Shown();
  QWidget* label = w->FindControl("Test_Image_Lab");
  ui::SetBkImage(label, "img\\dot.png");
  EXPECT_EQ(ui::BkImage(label), "img/dot.png");
  ASSERT_FALSE(qobject_cast<QLabel*>(label)->pixmap().isNull());
  ui::SetBkImage(label, "");
  EXPECT_TRUE(qobject_cast<QLabel*>(label)->pixmap().isNull());
  ui::SetText(w->FindControl("Test_Name_Edit"), "文字");
  EXPECT_EQ(ui::Text(w->FindControl("Test_Name_Edit")), "文字");

  QWidget* tab = w->FindControl("Test_tab");
  EXPECT_EQ(ui::GetCurSel(tab), 0);
  EXPECT_TRUE(ui::SelectItem(tab, 1));
  EXPECT_FALSE(ui::SelectItem(tab, 2));
  EXPECT_EQ(ui::GetCurSel(tab), 1);
  EXPECT_EQ(ui::GetCurSel(label), -1);

  ui::CTrayIcon tray;
  tray.Add(w.get(), ui::kTrayIconId, ui::kTrayCallbackMessage, QString(200, 'x'), QIcon());
  EXPECT_TRUE(tray.IsShown());
  EXPECT_EQ(tray.Tip().size(), 127);
  tray.Remove();
  EXPECT_FALSE(tray.IsShown());

  QString seen;
  ui::SetMessageBoxHandler([&](const QString& text, const QString& caption, ui::MessageButtons) {
    seen = caption + ":" + text;
    return ui::kIdYes;
  });
  int fromWorker = 0;
  std::thread worker([&] { fromWorker = ui::MessageBox(nullptr, "是否退出软件！", "提示"); });
  worker.join();
  ui::SetMessageBoxHandler({});
  EXPECT_EQ(fromWorker, ui::kIdYes);
  EXPECT_EQ(seen, "提示:是否退出软件！");
}

}  // namespace
