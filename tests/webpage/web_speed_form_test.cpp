// The web page test page standing alone in a host window, pressed as a user would, against the
// lab's portal sites.

#include "webpage/web_speed_form.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QTimer>
#include <QtTest/QTest>

#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/window.h"
#include "web_test_env.h"

using webtest::PumpUntil;

namespace {

const char kHost[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>620</height></rect></property>
 <widget class="Web_Speed" name="Web_Speed_Form">
  <property name="geometry"><rect><x>0</x><y>158</y><width>900</width><height>462</height></rect></property>
 </widget>
</widget></ui>)";

ui::CWindowWnd* OpenWindow(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == name && w->isVisible()) return qobject_cast<ui::CWindowWnd*>(w);
  return nullptr;
}

class WebSpeedFormTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    Write("conf\\l_c_config_01.properties", "userid=1234\n");
    webtest::ApproveUser();
    CDataBase::Instance().testBusy = 0;
    ASSERT_TRUE(webtest::OpenSkin());
    m_lab = std::make_unique<LabProcess>(std::vector<std::string>{"--portal"});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    // The shipped list with the lab's port in place of the shipped one.
    std::string sites = testsupport::ReadFile(testsupport::DistPath("Config/websites.xml"));
    for (size_t at; (at = sites.find(":18050/")) != std::string::npos;)
      sites.replace(at, 7, ":" + std::to_string(m_lab->Port("portal")) + "/");
    Write("Config\\websites.xml", sites);

    m_host.reset(ui::CDialogBuilder::CreateFromText(
        kHost,
        [this](const QString& cls, QWidget* parent) -> QWidget* {
          if (cls != CWebSpeedForm::kPageClass) return nullptr;
          m_page = CWebSpeedForm::Build(parent);
          return m_page;
        },
        nullptr));
    ASSERT_TRUE(m_host && m_page);
    m_host->show();
    m_page->OnMainWindowInit();
    ASSERT_NE(m_page->Engine(), nullptr);
    EXPECT_EQ(m_page->Engine()->parentWidget(), m_host.get());
    EXPECT_EQ(m_page->Engine()->pos(), QPoint(200, 300));
    EXPECT_EQ(CWebSpeedForm::SchedulerEngine(), m_page->Engine());
  }
  void TearDown() override {
    m_host.reset();
    CDataBase::Instance().testBusy = 0;
    m_lab.reset();
    ProgramFolderTest::TearDown();
  }

  void Press(const char* name) {
    auto* button = m_page->Find<QAbstractButton>(name);
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  void Type(const QString& text) { ui::SetText(m_page->FindControl("Web_WWW_edit"), text); }
  int Requests() { return static_cast<int>(m_lab->Requests("portal").size()); }
  std::string Site(const std::string& path) {
    return "127.0.0.1:" + std::to_string(m_lab->Port("portal")) + path;
  }
  int Page() { return ui::GetCurSel(m_page->FindControl("SwitchWeb")); }

  std::unique_ptr<LabProcess> m_lab;
  std::unique_ptr<QWidget> m_host;
  CWebSpeedForm* m_page = nullptr;
};

TEST_F(WebSpeedFormTest, OnlyWebAddressesStartATest) {
  for (const char* bad : {"", "word", "file:///etc/passwd", "javascript:alert(1)"}) {
    Type(bad);
    Press("Web_Start_btn");
    EXPECT_TRUE(m_page->Engine()->TestEnded()) << bad;
    EXPECT_FALSE(m_page->PageShown()) << bad;
  }
  // A line feed passes the pattern but never reaches the browser: the user is told.
  bool warned = false;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (ui::CWindowWnd* w = OpenWindow(CWebSpeedForm::kWarningWindow)) {
      warned = ui::Text(w->FindControl("warning_text")) == "网络连接失败，请检查网络后重试！";
      w->Close(1);
    }
  });
  closer.start(20);
  Type(QString::fromStdString(Site("/portal/a/index.html") + "\nsecond"));
  Press("Web_Start_btn");
  ASSERT_TRUE(PumpUntil([&] { return warned; }, 5000));
  closer.stop();
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  EXPECT_EQ(Requests(), 0);

  // A bare host with a dot: the page comes up over the site buttons and the notice shows the
  // time at its place.
  Type(QString::fromStdString(Site("/portal/a/index.html?parts=2")));
  Press("Web_Start_btn");
  EXPECT_TRUE(m_page->PageShown());
  EXPECT_EQ(m_page->Engine()->pos(), CWebSpeedForm::kShownAt);
  ASSERT_TRUE(PumpUntil([&] { return OpenWindow(CWebSpeedForm::kNoticeName) != nullptr; }));
  ui::CWindowWnd* notice = OpenWindow(CWebSpeedForm::kNoticeName);
  ASSERT_TRUE(
      PumpUntil([&] { return !ui::Text(notice->FindControl("FirstS_Time_lab")).isEmpty(); }));
  EXPECT_EQ(notice->pos(), m_host->frameGeometry().topLeft() + CWebSpeedForm::kNoticeAt);
  EXPECT_EQ(ui::Text(notice->FindControl("FirstS_Time_lab")).toStdString(),
            webpage::FirstScreenText(m_page->Engine()->LastResult().firstScreen));
  EXPECT_EQ(m_page->Engine()->LastResult().url, Site("/portal/a/index.html?parts=2"));

  // Closing the notice ends the busy state; going back hides the page.
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 1);
  QTest::mouseClick(notice->Find<QAbstractButton>("FirstS_close_btn"), Qt::LeftButton);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  Press("WebMore_btn");
  EXPECT_EQ(Page(), 1);
  Press("Web_GoBack_btn");
  EXPECT_FALSE(m_page->PageShown());
  EXPECT_EQ(m_page->Engine()->pos(), CWebSpeedForm::kHiddenAt);
  EXPECT_EQ(Page(), 0);
}

TEST_F(WebSpeedFormTest, SiteButtonsStartTheirSitesAndOnlyStopActsWhileBusy) {
  Press("WebMore_btn");
  Press("Web_btn25");
  EXPECT_EQ(ui::Text(m_page->FindControl("Web_WWW_edit")).toStdString(),
            "http://" + Site("/portal/dnspod/index.html"));
  ASSERT_TRUE(PumpUntil([&] { return OpenWindow(CWebSpeedForm::kNoticeName) != nullptr; }));
  OpenWindow(CWebSpeedForm::kNoticeName)->Close(1);
  bool dnspod = false;
  for (const LabRequest& r : m_lab->Requests("portal"))
    dnspod = dnspod || r.target.rfind("/portal/dnspod/index.html?Y", 0) == 0;
  EXPECT_TRUE(dnspod);

  // A test that runs: every other button is inert, Stop ends it.
  CDataBase::Instance().testBusy = 0;
  Type(QString::fromStdString(Site("/portal/slow/never.html")));
  Press("Web_Start_btn");
  ASSERT_TRUE(
      PumpUntil([&] { return !m_page->Engine()->TestEnded() && m_page->Engine()->Running(); }));
  const int before = Requests();
  for (const char* inert :
       {"Web_QQ_btn", "Web_btn10", "WebMoreGoback_btn", "Web_GoBack_btn", "Web_Start_btn"})
    Press(inert);
  EXPECT_EQ(Page(), 1);
  EXPECT_TRUE(m_page->PageShown());
  Press("Web_Stop_btn");
  EXPECT_TRUE(m_page->Engine()->TestEnded());
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  for (const LabRequest& r : m_lab->Requests("portal", 0))
    EXPECT_EQ(r.target.find("/portal/qq/"), std::string::npos);
  EXPECT_LE(Requests(), before + 1);  // at most the held part of the stopped page
}

}  // namespace
