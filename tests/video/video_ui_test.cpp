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
    m_host.reset();
    m_engine.reset();
    CFlashUI::SetLibraryPathForTest("");
    CFlashForm::SetNetworkAliveForTest(-1);
    CFlashForm::SetAutoPlayBoundForTest(0);
    CDataBase::Instance().Reset();
    ProgramFolderTest::TearDown();
  }

  void WithoutPlayer() { CFlashUI::SetLibraryPathForTest(At("no/libVideoPlayer.so")); }

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
    return ui::Text(tip->findChild<QWidget*>("FirstS_Time_lab")) ==
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
  EXPECT_EQ(engine->pos(), QPoint(200, 300));
  if (tip) static_cast<ui::CWindowWnd*>(tip)->Close();
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

TEST_F(VideoUiTest, ConvertedAddressesAreListedAndPlayedByADoubleClick) {
  WithoutPlayer();
  LabProcess lab({"--video", "--video-media-size=1000"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  CopyFromDist("conf/config.properties");
  PointVideoHostsAtLab(m_folder, lab);
  BuildPage();
  QTest::mousePress(m_page->Find<QPushButton>("Void_much_btn"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(m_page->FindControl("SwitchVoid")), 1);

  // A page of three clips (the lab's ifeng page lists three items).
  ui::SetText(
      m_page->FindControl("Void_Convert_Edit"),
      QString::fromStdString(lab.Url("video", "/ifeng/video/detail_2013_05/20/25492016_0.shtml")));
  QTest::mousePress(m_page->Find<QPushButton>("Void_Convert_btn"), Qt::LeftButton);
  EXPECT_TRUE(m_page->Resolving());
  // Presses are ignored while it resolves.
  QTest::mousePress(m_page->Find<QPushButton>("Void_MoreClose_btn"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(m_page->FindControl("SwitchVoid")), 1);
  ASSERT_TRUE(PumpUntil([&] { return !m_page->Resolving(); }));
  std::vector<CListVoidElementUI*> rows = m_page->Rows();
  ASSERT_GE(rows.size(), 2u);
  EXPECT_TRUE(rows[0]->IsSelected());
  EXPECT_FALSE(rows[1]->IsSelected());
  EXPECT_EQ(rows[1]->GetClass(), "ListVoidElementUI");
  EXPECT_EQ(rows[1]->GetInterface("ListContainerElement"), rows[1]);
  EXPECT_EQ(rows[1]->GetInterface("Button"), nullptr);
  for (CListVoidElementUI* row : rows)
    EXPECT_EQ(row->Url().toStdString().rfind(lab.Url("video", "/media/"), 0), 0u);

  // A press selects a row; the back button empties the list.
  QTest::mousePress(rows[1]->FindControl("Void_Url"), Qt::LeftButton);
  EXPECT_TRUE(rows[1]->IsSelected());
  EXPECT_FALSE(rows[0]->IsSelected());
  QTest::mousePress(m_page->Find<QPushButton>("Void_MoreClose_btn"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(m_page->FindControl("SwitchVoid")), 0);
  PumpUntil([&] { return m_page->Rows().empty(); }, 2000);
  EXPECT_TRUE(m_page->Rows().empty());
}
