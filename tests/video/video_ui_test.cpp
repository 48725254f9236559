// The video engine window and the video page, offscreen: the player's texts, the record they
// lead to, the rules of automatic runs, and the page driven as a user would. Without the player
// library the test is unavailable; with it, real plays of the lab's clips.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "core/data_base.h"
#include "lab_fixture.h"
#include "platform/codepage.h"
#include "test_support.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/skin.h"
#include "ui/window.h"
#include "video/flash_form.h"
#include "video/list_void_element_ui.h"
#include "video/void_speed_form.h"

namespace {

bool PumpUntil(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

QWidget* VisibleWindow(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == name && w->isVisible()) return w;
  return nullptr;
}

std::string Call(const char* name, const std::string& argument) {
  return std::string("<invoke name=\"") + name + "\" returntype=\"xml\"><arguments><string>" +
         argument + "</string></arguments></invoke>";
}

const char kHost[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>420</height></rect></property>
 <widget class="Void_Speed" name="Void_Speed_Form">
  <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>420</height></rect></property>
 </widget>
</widget></ui>)";

class VideoUiTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("Skin.zip");
    ASSERT_TRUE(ui::SetResourceZip(QString::fromStdString(At("Skin.zip"))));
    CDataBase::Instance().Reset();
    UserInfo user;
    user.userId = "1234";
    user.address = "10.1.2.3";
    user.userType = 1;
    CDataBase::Instance().SetUserInfo(user);
    Write("conf\\l_c_config_01.properties", "userid=1234\n");
    CFlashForm::SetNetworkAliveForTest(1);
  }
  void TearDown() override {
    // The tip of a missing player stays until closed; the next test starts without it.
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "TipForm") delete w;
    m_host.reset();
    m_engine.reset();
    m_lab.reset();
    CFlashUI::SetLibraryPathForTest("");
    CFlashForm::SetNetworkAliveForTest(-1);
    CFlashForm::SetAutoPlayBoundForTest(0);
    CDataBase::Instance().Reset();
    ProgramFolderTest::TearDown();
  }

  void WithoutPlayer() { CFlashUI::SetLibraryPathForTest(At("no/libVideoPlayer.so")); }

  // The player library in the program folder, and the lab's video sites with the real clips.
  void WithPlayerAndLab() {
    CopyFromDist("libVideoPlayer.so");
    m_lab = std::make_unique<LabProcess>(std::vector<std::string>{"--video"});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    CopyFromDist("conf/config.properties");
    PointVideoHostsAtLab(m_folder, *m_lab);
    m_media = testsupport::DistPath("../lab-media/");
  }
  int64_t ClipKB(const std::string& name) {
    return static_cast<int64_t>(testsupport::ReadFile(m_media + name).size()) / 1024;
  }
  std::string RecordText() {
    const std::vector<std::string> names = Records();
    for (const std::string& name : names)
      if (name.rfind("Pccollect_videospeed_", 0) == 0 && name.find(".dat") != std::string::npos)
        return codepage::GbkToUtf8(Read("Data\\" + name));
    // Packed away by zip: the package holds the record alone.
    for (const std::string& name : names)
      if (name.find("_Pccollect_videospeed_") != std::string::npos)
        return codepage::GbkToUtf8(
            testsupport::CommandOutput("unzip -p '" + At("Data/" + name) + "'"));
    return std::string();
  }
  // Runs StartAuto on a worker, as the scheduler does, while the window thread goes on.
  int StartAutoOnWorker(CFlashForm* engine, int first, int checktype,
                        const std::function<void()>& meanwhile = nullptr) {
    std::atomic<int> result{-1};
    std::thread worker([&] { result = engine->StartAuto(first, 1, checktype); });
    if (meanwhile) meanwhile();
    PumpUntil([&] { return result.load() != -1; }, 60000);
    worker.join();
    return result.load();
  }

  void Settings(const std::string& videoItems, bool selected = true) {
    Write("Config\\settings1234.xml",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings><tasks><module id=\"3\" "
          "selected=\"" +
              std::string(selected ? "true" : "false") + "\">" + videoItems +
              "</module></tasks></settings>");
  }

  void BuildPage() {
    m_host.reset(ui::CDialogBuilder::CreateFromText(
        kHost,
        [this](const QString& cls, QWidget* parent) -> QWidget* {
          if (cls != CVoidSpeedForm::kPageClass) return nullptr;
          m_page = CVoidSpeedForm::Build(parent);
          return m_page;
        },
        nullptr));
    ASSERT_NE(m_host, nullptr);
    ASSERT_NE(m_page, nullptr);
    m_host->show();
    m_page->OnMainWindowInit();
  }

  CFlashForm* BuildEngine() {
    m_engine = std::make_unique<CFlashForm>();
    EXPECT_TRUE(m_engine->Create("FlashDialog"));
    return m_engine.get();
  }

  std::string FlashLog() {
    std::string all;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(At("log"), error))
      if (entry.path().filename().string().find("Flash.log") != std::string::npos)
        all += codepage::GbkToUtf8(testsupport::ReadFile(entry.path().string()));
    return all;
  }

  std::vector<std::string> Records() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(At("Data"), error))
      names.push_back(entry.path().filename().string());
    return names;
  }

  std::unique_ptr<LabProcess> m_lab;
  std::string m_media;
  std::unique_ptr<QWidget> m_host;
  CVoidSpeedForm* m_page = nullptr;
  std::unique_ptr<CFlashForm> m_engine;
};

}  // namespace

TEST_F(VideoUiTest, WithoutThePlayerTheTestIsUnavailableAndNothingStarts) {
  WithoutPlayer();
  Settings(
      "<item id=\"1\" selected=\"true\" name=\"优酷\">http://127.0.0.1:1/youku/v_show/"
      "id_X.html</item>");
  BuildPage();
  // Known at once: the login need not wait for a player that cannot come.
  EXPECT_EQ(m_page->PlayerStateHandle()->load(), ui::PlayerState::Unavailable);
  EXPECT_FALSE(m_page->PlayerReady());
  CFlashForm* engine = m_page->Player();
  ASSERT_NE(engine, nullptr);
  EXPECT_EQ(engine->objectName(), "FlashDialog");
  EXPECT_FALSE(engine->HasPlayer());
  EXPECT_EQ(engine->FlashVersion(), 0);
  QWidget* tip = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (tip = VisibleWindow("TipForm")) != nullptr; }, 5000));
  EXPECT_TRUE(PumpUntil([&] {
    return ui::Text(tip->findChild<QWidget*>("warning_text")) ==
           QString::fromUtf8(CFlashForm::kTipText);
  }));
  EXPECT_EQ(tip->pos(), QPoint(170, 275));

  // A manual start sends nothing and leaves no test running for ever.
  engine->RunManual("http://127.0.0.1:1/media/clip.mp4");
  ASSERT_TRUE(PumpUntil([&] { return FlashLog().find("视频插件不可用") != std::string::npos; }));
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  EXPECT_TRUE(engine->TestEnded());

  // Automatic: 0 without a player, and 0 when nothing is selected.
  EXPECT_EQ(engine->StartAuto(0, 1, 0), 0);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  Settings("<item id=\"1\" selected=\"true\" name=\"优酷\">x</item>", false);
  EXPECT_EQ(engine->StartAuto(0, 1, 0), 0);
  Settings("");
  EXPECT_EQ(engine->StartAuto(0, 1, 0), 0);
  CFlashForm::SetNetworkAliveForTest(0);
  EXPECT_EQ(engine->StartAuto(0, 1, 0), 0);

  // The page's buttons do nothing.
  ui::SetText(m_page->FindControl("Void_play_Edit"), "http://127.0.0.1:1/media/clip.mp4");
  QTest::mousePress(m_page->Find<QPushButton>("Void_play_btn"), Qt::LeftButton);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
}

TEST_F(VideoUiTest, PlayerTextsEndTheTestAndWriteOnlyCompletedResults) {
  WithoutPlayer();
  CFlashForm* engine = BuildEngine();
  CDataBase& shared = CDataBase::Instance();
  engine->RunManual("http://127.0.0.1/media/clip.mp4?a=1&b=2");  // keeps the address
  ASSERT_TRUE(PumpUntil([&] { return FlashLog().find("视频插件不可用") != std::string::npos; }));

  // A result with an empty field is not a result: the test stays running.
  shared.testBusy.store(1);
  engine->OnFlashCall(Call("VideoInfomation", "900#1.2##450#4999#11#true"));
  EXPECT_EQ(shared.testBusy.load(), 1);
  EXPECT_TRUE(Records().empty());

  // A completed manual result: record with check type 0, not counted as automatic.
  shared.autoCompletedCount.store(5);
  engine->OnFlashCall(Call("VideoInfomation", "900#1.2#5000#450#4999#11#true"));
  EXPECT_EQ(shared.testBusy.load(), 0);
  EXPECT_EQ(shared.autoCompletedCount.load(), 5);
  ASSERT_EQ(engine->LastRecordName().rfind("Pccollect_videospeed_", 0), 0u);
  EXPECT_TRUE(engine->WaitForHandOff(std::chrono::seconds(30)));
  const std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), 1u);  // the record, or its package when zip is there
  EXPECT_NE(FlashLog().find("手动视频测速结束"), std::string::npos);

  // An interrupted play is logged as finished but writes nothing.
  shared.testBusy.store(1);
  std::filesystem::remove_all(At("Data"));
  std::filesystem::create_directories(At("Data"));
  engine->OnFlashCall(Call("VideoInfomation", "900#1.2#5000#450#100#11#false"));
  EXPECT_EQ(shared.testBusy.load(), 0);
  EXPECT_TRUE(Records().empty());

  // "fail" ends the test and writes nothing.
  shared.testBusy.store(1);
  engine->OnFlashCall(Call("fail", "connect"));
  EXPECT_EQ(shared.testBusy.load(), 0);
  EXPECT_NE(FlashLog().find("手动视频测速失败"), std::string::npos);
  EXPECT_TRUE(Records().empty());

  // The player's close button: the window moves away and the test ends.
  shared.testBusy.store(1);
  engine->OnFlashCall(Call("VideoSpeedChildQuit", ""));
  EXPECT_EQ(shared.testBusy.load(), 0);
  EXPECT_EQ(engine->pos(), QPoint(1000, 145));

  // Automatic results count while automatic testing is on; off, nothing is written or counted.
  engine->mode.store(1);
  shared.testRunEnabled.store(1);
  engine->OnFlashCall(Call("VideoInfomation", "900#1.2#5000#450#4999#11#true"));
  EXPECT_EQ(shared.autoCompletedCount.load(), 6);
  EXPECT_TRUE(engine->WaitForHandOff(std::chrono::seconds(30)));
  EXPECT_EQ(Records().size(), 1u);
  EXPECT_NE(shared.LastResult().find("平均速率:450 KB/s"), std::string::npos);
  std::filesystem::remove_all(At("Data"));
  std::filesystem::create_directories(At("Data"));
  shared.testRunEnabled.store(0);
  engine->OnFlashCall(Call("VideoInfomation", "900#1.2#5000#450#4999#11#true"));
  EXPECT_EQ(shared.autoCompletedCount.load(), 6);
  EXPECT_TRUE(Records().empty());
  EXPECT_NE(FlashLog().find("自动视频测速结束"), std::string::npos);
}

TEST_F(VideoUiTest, AManualPlayOfALabClipIsRecordedWhole) {
  WithPlayerAndLab();
  CFlashForm* engine = BuildEngine();
  ASSERT_TRUE(engine->HasPlayer());
  EXPECT_EQ(engine->ReadyState(), videoplayer::kReadyStateComplete);
  EXPECT_GE(engine->FlashVersion() >> 16, 11);
  EXPECT_EQ(VisibleWindow("TipForm"), nullptr);

  CDataBase& shared = CDataBase::Instance();
  shared.autoCompletedCount.store(0);
  const int ended = engine->PlaysEnded();
  // An "&" in the address reaches the player as the address, not as broken XML.
  const std::string url = m_lab->Url("video", "/media/lab/clip.mp4?a=1&b=2");
  engine->RunManual(url);
  ASSERT_TRUE(PumpUntil([&] { return shared.testBusy.load() == 1; }, 5000));
  EXPECT_FALSE(engine->TestEnded());
  ASSERT_TRUE(PumpUntil([&] { return engine->PlaysEnded() > ended; }, 60000));
  EXPECT_EQ(shared.testBusy.load(), 0);
  const std::vector<std::string> fields = engine->InfoFields();
  ASSERT_EQ(fields.size(), 7u) << engine->LastCall();
  EXPECT_EQ(fields[2], std::to_string(ClipKB("clip.mp4")));
  EXPECT_EQ(fields[4], fields[2]);
  EXPECT_EQ(fields[6], "true");
  ASSERT_TRUE(m_lab->WaitIdle("video"));
  EXPECT_EQ(engine->Statistics().bytes, m_lab->Stats("video").bodySent);
  const std::vector<LabRequest> requests = m_lab->Requests("video");
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().target, "/media/lab/clip.mp4?a=1&b=2");

  EXPECT_TRUE(engine->WaitForHandOff(std::chrono::seconds(30)));
  const std::string text = RecordText();
  {
    EXPECT_NE(text.find("\t url=" + url + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("\t ifcompleted=1\r\n"), std::string::npos);
    EXPECT_NE(text.find("\t testtype=1\r\n"), std::string::npos);
    EXPECT_NE(text.find("\t checktype=0\r\n"), std::string::npos);
  }
  EXPECT_EQ(shared.autoCompletedCount.load(), 0);
}

TEST_F(VideoUiTest, AnAutomaticRunHoldsTheLineUntilItsPlayEnds) {
  WithPlayerAndLab();
  CFlashForm* engine = BuildEngine();
  CDataBase& shared = CDataBase::Instance();
  shared.testRunEnabled.store(1);
  shared.autoCompletedCount.store(0);

  // A page that resolves to nothing: try again later, with the page kept for the retry.
  const std::string lost = "http://127.0.0.1:1/nothing/page.html";
  Settings("<item id=\"5\" selected=\"true\" name=\"x\">" + lost + "</item>");
  EXPECT_EQ(engine->StartAuto(0, 1, 1), 1);
  EXPECT_EQ(engine->Page(), lost);
  const std::string page = m_lab->Url("video", "/ifeng/video/detail_2013_05/20/25492016_0.shtml");
  Settings("<item id=\"12\" selected=\"true\" name=\"凤凰\">" + page + "</item>");
  EXPECT_EQ(engine->StartAuto(1, 1, 1), 1);  // a retry plays the kept page
  EXPECT_EQ(engine->Url(), lost);
  EXPECT_EQ(shared.testBusy.load(), 0);

  // A fresh start: it returns once the clip has played, and the record names the page.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(StartAutoOnWorker(engine, 0, 1), 2);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 7.0);  // the 8 s clip played before it returned
  EXPECT_TRUE(engine->TestEnded());
  EXPECT_EQ(engine->Url(), page);
  EXPECT_EQ(shared.testBusy.load(), 0);
  EXPECT_EQ(shared.autoCompletedCount.load(), 1);
  EXPECT_TRUE(engine->WaitForHandOff(std::chrono::seconds(30)));
  const std::string text = RecordText();
  {
    EXPECT_NE(text.find("\t url=" + page + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("\t mediatype=12\r\n"), std::string::npos);
    EXPECT_NE(text.find("\t testtype=0\r\n"), std::string::npos);
    EXPECT_NE(text.find("\t checktype=1\r\n"), std::string::npos);
  }
  EXPECT_NE(shared.LastResult().find("最近一次视频测速结果"), std::string::npos);
  EXPECT_NE(FlashLog().find("Play END"), std::string::npos);

  // Switching automatic testing off ends the play at once; nothing is written.
  std::filesystem::remove_all(At("Data"));
  std::filesystem::create_directories(At("Data"));
  std::chrono::steady_clock::time_point cleared;
  EXPECT_EQ(StartAutoOnWorker(engine, 0, 0,
                              [&] {
                                ASSERT_TRUE(PumpUntil(
                                    [&] { return m_lab->Stats("video").bodySent > 0; }, 20000));
                                cleared = std::chrono::steady_clock::now();
                                shared.testRunEnabled.store(0);
                              }),
            2);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - cleared).count(), 3.0);
  EXPECT_EQ(shared.testBusy.load(), 0);
  EXPECT_TRUE(engine->TestEnded());
  PumpUntil([] { return false; }, 300);  // a late text would land here
  EXPECT_TRUE(Records().empty());
  EXPECT_EQ(shared.autoCompletedCount.load(), 1);
}

TEST_F(VideoUiTest, ThePageListsThreeAddressesAndADoubleClickPlaysTheSecond) {
  WithPlayerAndLab();
  BuildPage();
  EXPECT_EQ(m_page->PlayerStateHandle()->load(), ui::PlayerState::Ready);
  EXPECT_TRUE(m_page->PlayerReady());
  CFlashForm* engine = m_page->Player();
  ASSERT_NE(engine, nullptr);
  EXPECT_EQ(engine->pos(), QPoint(23, 140));
  EXPECT_TRUE(engine->isVisible());

  QTest::mousePress(m_page->Find<QPushButton>("Void_much_btn"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(m_page->FindControl("SwitchVoid")), 1);
  ui::SetText(m_page->FindControl("Void_Convert_Edit"),
              QString::fromStdString(m_lab->Url("video", "/ku6/show/Lx2aCvdgqXJdJrzQ.html")));
  QTest::mousePress(m_page->Find<QPushButton>("Void_Convert_btn"), Qt::LeftButton);
  EXPECT_TRUE(m_page->Resolving());
  // Presses are ignored while it resolves.
  QTest::mousePress(m_page->Find<QPushButton>("Void_MoreClose_btn"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(m_page->FindControl("SwitchVoid")), 1);
  ASSERT_TRUE(PumpUntil([&] { return !m_page->Resolving(); }));
  std::vector<CListVoidElementUI*> rows = m_page->Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[0]->IsSelected());
  EXPECT_FALSE(rows[1]->IsSelected());
  EXPECT_EQ(rows[1]->GetClass(), "ListVoidElementUI");
  EXPECT_EQ(rows[1]->GetInterface("ListContainerElement"), rows[1]);
  EXPECT_EQ(rows[1]->GetInterface("Button"), nullptr);
  const std::string second = rows[1]->Url().toStdString();
  EXPECT_EQ(second, m_lab->Url("video", "/media/ku6/Lx2aCvdgqXJdJrzQ/2.f4v"));

  // A press selects a row; a double click plays it as it stands.
  QTest::mousePress(rows[2]->FindControl("Void_Url"), Qt::LeftButton);
  EXPECT_TRUE(rows[2]->IsSelected());
  EXPECT_FALSE(rows[0]->IsSelected());
  m_lab->Reset("video");
  const int ended = engine->PlaysEnded();
  QTest::mouseDClick(rows[1]->Root(), Qt::LeftButton);
  EXPECT_TRUE(rows[1]->IsSelected());
  EXPECT_FALSE(rows[2]->IsSelected());
  ASSERT_TRUE(PumpUntil([] { return CDataBase::Instance().testBusy.load() == 1; }, 5000));
  EXPECT_EQ(engine->pos(), QPoint(23, 140));
  // While it plays every button is ignored.
  QTest::mousePress(m_page->Find<QPushButton>("Void_MoreClose_btn"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(m_page->FindControl("SwitchVoid")), 1);
  ASSERT_TRUE(PumpUntil([&] { return engine->PlaysEnded() > ended; }, 60000));
  EXPECT_EQ(engine->Url(), second);
  ASSERT_EQ(engine->InfoFields().size(), 7u) << engine->LastCall();
  EXPECT_EQ(engine->InfoFields()[6], "true");
  const std::vector<LabRequest> requests = m_lab->Requests("video");
  ASSERT_EQ(requests.size(), 1u);  // played as listed: no page, no resolution
  EXPECT_EQ(requests[0].target, "/media/ku6/Lx2aCvdgqXJdJrzQ/2.f4v");
  EXPECT_TRUE(engine->WaitForHandOff(std::chrono::seconds(30)));

  // Back: the list empties.
  QTest::mousePress(m_page->Find<QPushButton>("Void_MoreClose_btn"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(m_page->FindControl("SwitchVoid")), 0);
  EXPECT_TRUE(PumpUntil([&] { return m_page->Rows().empty(); }, 2000));
}

TEST_F(VideoUiTest, ASiteButtonPlaysTheSamplePageOfItsItem) {
  WithPlayerAndLab();
  // "Void_letv_btn" plays item 12, resolved as an ifeng page.
  Settings("<item id=\"12\" selected=\"true\" name=\"凤凰\">" +
           m_lab->Url("video", "/ifeng/video/detail_2013_05/20/25492016_0.shtml") +
           "</item><item id=\"1\" selected=\"true\" name=\"优酷\">x</item>");
  BuildPage();
  CFlashForm* engine = m_page->Player();
  ASSERT_NE(engine, nullptr);
  // A site without a sample page plays nothing.
  QTest::mousePress(m_page->Find<QPushButton>("Void_ku6_btn"), Qt::LeftButton);
  EXPECT_FALSE(m_page->Resolving());
  const int ended = engine->PlaysEnded();
  QTest::mousePress(m_page->Find<QPushButton>("Void_letv_btn"), Qt::LeftButton);
  EXPECT_TRUE(m_page->Resolving());
  ASSERT_TRUE(PumpUntil([] { return CDataBase::Instance().testBusy.load() == 1; }, 10000));
  EXPECT_EQ(engine->Url(), m_lab->Url("video", "/media/ifeng/25492016_0/1.mp4"));
  ASSERT_TRUE(PumpUntil([&] { return engine->PlaysEnded() > ended; }, 60000));
  EXPECT_EQ(engine->InfoFields().size(), 7u) << engine->LastCall();
  EXPECT_TRUE(engine->WaitForHandOff(std::chrono::seconds(30)));
}

TEST_F(VideoUiTest, TheStopButtonLetsThePlayerGoAndEndsTheTest) {
  CopyFromDist("libVideoPlayer.so");
  CFlashForm* engine = BuildEngine();
  ASSERT_TRUE(engine->HasPlayer());
  // A layout may hold the button; this one gets it here.
  auto* stop = new QPushButton(engine->Root());
  stop->setObjectName("VoidConverttest_btn");
  engine->BindControls(engine->Root());
  engine->show();
  CDataBase::Instance().testBusy.store(1);
  QTest::mouseClick(stop, Qt::LeftButton);
  EXPECT_FALSE(engine->HasPlayer());
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  EXPECT_FALSE(engine->isVisible());
  // Nothing is sent to a player that is gone.
  engine->RunManual("http://127.0.0.1:1/media/clip.mp4");
  ASSERT_TRUE(PumpUntil([&] { return FlashLog().find("视频插件不可用") != std::string::npos; }));
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
}
