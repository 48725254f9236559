// The settings page standing alone in a host window whose builder callback makes it, as the
// main window does, driven with clicks over real files; the update check against the lab's
// update server, with a stand-in Update.

#include "windows/seting_form.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QtTest/QTest>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>

#include "auto/settings_files.h"
#include "core/data_base.h"
#include "core/properties_file.h"
#include "lab_fixture.h"
#include "platform/autostart.h"
#include "platform/codepage.h"
#include "test_support.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/message_box.h"
#include "ui/skin.h"
#include "update_client/updater.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Exists;
using testsupport::WaitFor;

const char kHost[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>508</height></rect></property>
 <widget class="Seting_Speed" name="Seting_Speed_Form">
  <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>508</height></rect></property>
 </widget>
</widget></ui>)";

const char kSettings[] = "Config\\settings1234.xml";
const char kTasks[] = "Config\\tasks1234.xml";

std::string Tasks(const std::string& web, const std::string& files = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<auto><tasks><module id=\"2\">" + web +
         "</module><module id=\"4\">" + files + "</module></tasks></auto>";
}

std::string Item(int id, const std::string& name, const std::string& address,
                 bool selected = true) {
  return "<item id=\"" + std::to_string(id) + "\" selected=\"" + (selected ? "true" : "false") +
         "\" name=\"" + name + "\">" + address + "</item>";
}

bool PumpUntil(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

QWidget* OpenWindow(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == name && w->isVisible()) return w;
  return nullptr;
}

// The superuser writes anywhere: a read-only folder only stops an ordinary user, so the
// process acts as "nobody" while it lives.
class AsOrdinaryUser {
 public:
  AsOrdinaryUser() {
    if (geteuid() != 0) return;
    m_switched = setegid(65534) == 0 && seteuid(65534) == 0;
  }
  ~AsOrdinaryUser() {
    if (!m_switched) return;
    if (seteuid(0) != 0 || setegid(0) != 0) std::abort();
  }

 private:
  bool m_switched = false;
};

class SetingPage : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("Skin.zip");
    ASSERT_TRUE(ui::SetResourceZip(QString::fromStdString(At("Skin.zip"))));
    CopyFromDist("Config/settings.xml");
    testsupport::CopyFile(At("Config/settings.xml"), At("Config/settings1234.xml"));
    Write("conf\\config.properties", "#user config\n#stamp\nmanual=0\n");
    Write("conf\\l_c_config_01.properties",
          "#user config\n#stamp\nuname=" + codepage::Utf8ToGbk("张三") + "\nauto=0\npre_date=\n");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old) m_oldConfigHome = old;
    setenv("XDG_CONFIG_HOME", At("xdg").c_str(), 1);
    UserInfo user;
    user.userId = "1234";
    CDataBase::Instance().SetUserInfo(user);
    ui::SetMessageBoxHandler(
        [this](const QString& text, const QString& caption, ui::MessageButtons) {
          m_messages << caption + "|" + text;
          return ui::kIdOk;
        });
    m_host.reset(ui::CDialogBuilder::CreateFromText(
        kHost,
        [this](const QString& cls, QWidget* parent) -> QWidget* {
          if (cls != CSetingForm::kPageClass) return nullptr;
          m_page = CSetingForm::Build(parent);
          return m_page;
        },
        nullptr));
    ASSERT_NE(m_host, nullptr);
    ASSERT_NE(m_page, nullptr);
    m_host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_host.get()));
  }
  void TearDown() override {
    if (m_page) PumpUntil([this] { return !m_page->UpdateCheckRunning(); });
    m_host.reset();
    ui::SetMessageBoxHandler({});
    if (m_oldConfigHome.empty())
      unsetenv("XDG_CONFIG_HOME");
    else
      setenv("XDG_CONFIG_HOME", m_oldConfigHome.c_str(), 1);
    chmod(m_folder.c_str(), 0700);
    for (const char* sub : {"conf", "Config"}) chmod(At(sub).c_str(), 0755);
    CDataBase::Instance().SetUserInfo(UserInfo{});
    ProgramFolderTest::TearDown();
  }

  QAbstractButton* Box(const QString& name) { return m_page->Find<QAbstractButton>(name); }
  // Check boxes are clicked on their box, as a user does (a click right of the text misses).
  static void Press(QAbstractButton* b) {
    if (qobject_cast<QCheckBox*>(b))
      QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
    else
      QTest::mouseClick(b, Qt::LeftButton);
  }
  static void Press(QWidget* w) { Press(qobject_cast<QAbstractButton*>(w)); }
  void Click(const QString& name) {
    QAbstractButton* b = Box(name);
    ASSERT_NE(b, nullptr) << name.toStdString();
    Press(b);
  }
  int Height(const char* name) { return m_page->FindControl(name)->maximumHeight(); }
  std::vector<int> StoredIds(const char* file, int module) {
    std::vector<int> ids;
    for (const auto& item : settings::ReadModuleItems(file, module)) ids.push_back(item.id);
    return ids;
  }
  // Runs `steps` on the add dialog once it is open; the click that opens it returns when the
  // dialog has closed.
  void WithAddDialog(const char* button, std::function<void(ui::CWindowWnd*)> steps) {
    bool ran = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<ui::CWindowWnd*>(OpenWindow(CUtilityWnd::kWindowName));
      if (!dialog || ran || !dialog->WindowInitDone()) return;
      ran = true;
      poll.stop();
      steps(dialog);
      if (dialog->isVisible()) dialog->Close(2);
    });
    poll.start();
    Click(button);
    EXPECT_TRUE(ran) << "the add dialog did not open";
  }
  static void Enter(ui::CWindowWnd* dialog, const QString& name, const QString& address) {
    ui::SetText(dialog->FindControl("Seting_addName_edit"), name);
    ui::SetText(dialog->FindControl("Seting_Address_edit"), address);
    QTest::mouseClick(dialog->Find<QAbstractButton>("Seting_OK_btn"), Qt::LeftButton);
  }
  static QString Error(ui::CWindowWnd* dialog) {
    return ui::Text(dialog->FindControl("Set_AddError_lab"));
  }

  std::unique_ptr<QWidget> m_host;
  CSetingForm* m_page = nullptr;
  QStringList m_messages;
  std::string m_oldConfigHome;
};

TEST_F(SetingPage, FillsFromTheShippedTemplate) {
  // Before filling, the layout's state stands: a missing settings file changes nothing.
  EXPECT_EQ(Box("Set_Web_check1"), nullptr);
  m_page->Fill();
  for (const char* name :
       {"Set_NetworkSpeed_check", "Seting_Web_check", "Set_Video_check", "Set_Dlownload_check"})
    EXPECT_TRUE(Box(name)->isChecked()) << name;
  // Item boxes are made from the file, named by item id, ticked as stored.
  ASSERT_NE(Box("Set_Web_check1"), nullptr);
  EXPECT_EQ(Box("Set_Web_check1")->text(), "新浪");
  EXPECT_TRUE(Box("Set_Web_check3")->isChecked());
  EXPECT_FALSE(Box("Set_Web_check4")->isChecked());
  EXPECT_NE(Box("Set_Web_check6"), nullptr);
  EXPECT_EQ(Box("Set_Web_check7"), nullptr);
  EXPECT_EQ(Box("Set_Video_check12")->text(), "凤凰");
  EXPECT_EQ(ui::UserData(Box("Set_Video_check12")), "3");
  EXPECT_TRUE(Box("Set_Dlownload_check1")->isChecked());
  EXPECT_FALSE(Box("Set_Dlownload_check2")->isChecked());
  // No task file yet: both lists are empty.
  EXPECT_EQ(m_page->TargetCount(settings::kWebPage), 0);
  EXPECT_TRUE(m_page->Rows(settings::kFileDown).empty());
  EXPECT_FALSE(Box("Set_AutoUp_check")->isChecked());
  EXPECT_FALSE(Box("Set_AutoLogin_check")->isChecked());
  EXPECT_FALSE(Box("Set_AutoSpeed_check")->isChecked());

  // A module switched off greys its items; the options follow their files.
  settings::SetSelected(kSettings, settings::kVideo, std::nullopt, false);
  Write("conf\\config.properties", "#user config\n#stamp\nmanual=1\n");
  Write("conf\\l_c_config_01.properties", "#user config\n#stamp\nauto=1\n");
  ASSERT_TRUE(platform::SetAutostart(true, "/opt/k/Kestrane"));
  Write(kTasks, Tasks(Item(1, "甲 &lt;&amp;&quot;", "a.b") + Item(2, "乙", "c.d", false) +
                          Item(5, "丙", "e.f"),
                      Item(3, "文件", "http://f.g/x.bin")));
  m_page->Fill();
  EXPECT_FALSE(Box("Set_Video_check")->isChecked());
  EXPECT_FALSE(m_page->FindControl("Set_Video_ver")->isEnabled());
  EXPECT_FALSE(Box("Set_Video_check1")->isEnabled());
  EXPECT_TRUE(m_page->FindControl("Seting_Website_ver")->isEnabled());
  EXPECT_TRUE(Box("Set_AutoUp_check")->isChecked());
  EXPECT_TRUE(Box("Set_AutoLogin_check")->isChecked());
  EXPECT_TRUE(Box("Set_AutoSpeed_check")->isChecked());
  // Targets two to a row in file order, with their names, states, tags and kinds.
  auto rows = m_page->Rows(settings::kWebPage);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(m_page->TargetCount(settings::kWebPage), 3);
  EXPECT_EQ(ui::Text(rows[0]->Check(0)), "甲 <&\"");
  EXPECT_TRUE(ui::GetCheck(rows[0]->Check(0)));
  EXPECT_FALSE(ui::GetCheck(rows[0]->Check(1)));
  EXPECT_EQ(rows[1]->Check(0)->property("tag").toInt(), 5);
  EXPECT_EQ(ui::UserData(rows[1]->Check(0)), "2_tasks");
  EXPECT_EQ(ui::UserData(rows[1]->Delete(0)), "2_tasks");
  EXPECT_TRUE(rows[1]->Check(1)->isHidden());
  EXPECT_TRUE(rows[1]->Delete(1)->isHidden());
  EXPECT_FALSE(rows[0]->Check(1)->isHidden());
  ASSERT_EQ(m_page->Rows(settings::kFileDown).size(), 1u);
  EXPECT_EQ(ui::UserData(m_page->Rows(settings::kFileDown)[0]->Check(0)), "4_tasks");
}

TEST_F(SetingPage, OnLoginTakesTheTemplateFromTheUpdateServer) {
  // The server's template drops web item 6 and brings a new one, 7.
  std::string server = Read("Config/settings.xml");
  const std::string six =
      "<item id=\"6\" selected=\"false\" name=\"淘宝\">http://127.0.0.1:18050/portal/taobao/"
      "index.html</item>";
  ASSERT_NE(server.find(six), std::string::npos);
  server.replace(server.find(six), six.size(),
                 "<item id=\"7\" selected=\"true\" name=\"新站\">http://new.example/</item>");
  fs::create_directories(At("served/Kestrane"));
  Write("served/Kestrane/settings.xml", server);
  LabProcess lab({"--update", "--update-root=" + At("served")});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  CopyFromDist("libUpdater.so");
  Write("conf\\config.properties",
        "#user config\n#stamp\nmanual=0\nupdate_server_path=" + lab.Url("update", "/") +
            "\napp_name=Kestrane/\nsettings_xml=settings.xml\n");
  m_page->OnLogin();
  ASSERT_TRUE(PumpUntil([this] { return m_page->FillDone(); }));
  EXPECT_TRUE(m_page->FindControl("Seting_Auto_ver")->isEnabled());
  ASSERT_NE(Box("Set_Web_check7"), nullptr);
  EXPECT_EQ(Box("Set_Web_check7")->text(), "新站");
  EXPECT_EQ(Box("Set_Web_check6"), nullptr);
  EXPECT_EQ(StoredIds(kSettings, settings::kWebPage), (std::vector<int>{1, 2, 3, 4, 5, 7}));
}

TEST_F(SetingPage, EachToggleReachesItsFile) {
  m_page->Fill();
  Click("Set_AutoLogin_check");
  EXPECT_TRUE(Box("Set_AutoLogin_check")->isChecked());
  const std::string user = Read("conf/l_c_config_01.properties");
  EXPECT_NE(user.find("\nauto=1\n"), std::string::npos);
  // GBK kept, and the save stamps the last login.
  EXPECT_NE(user.find("uname=" + codepage::Utf8ToGbk("张三") + "\n"), std::string::npos);
  const std::string stamp = conf::Read(conf::kUser, "pre_date");
  ASSERT_EQ(stamp.size(), 21u) << stamp;
  EXPECT_EQ(stamp.substr(13, 2), "\\:");
  Click("Set_AutoLogin_check");
  EXPECT_EQ(conf::Read(conf::kUser, "auto"), "0");

  Click("Set_AutoSpeed_check");
  EXPECT_TRUE(Box("Set_AutoSpeed_check")->isChecked());
  EXPECT_EQ(conf::Read(conf::kConfig, "manual"), "1");
  Click("Set_AutoSpeed_check");
  EXPECT_EQ(conf::Read(conf::kConfig, "manual"), "0");

  Click("Set_AutoUp_check");
  EXPECT_TRUE(Box("Set_AutoUp_check")->isChecked());
  const std::string entry = At("xdg/autostart/Kestrane-c.desktop");
  ASSERT_TRUE(Exists(entry));
  EXPECT_NE(testsupport::ReadFile(entry).find("Exec=\"" + platform::ExecutablePath() + "\""),
            std::string::npos);
  Click("Set_AutoUp_check");
  EXPECT_FALSE(Exists(entry));
  EXPECT_FALSE(Box("Set_AutoUp_check")->isChecked());

  // A module: the file and the item container follow.
  Click("Seting_Web_check");
  EXPECT_FALSE(settings::IsModuleSelected(settings::kWebPage, kSettings));
  EXPECT_FALSE(m_page->FindControl("Seting_Website_ver")->isEnabled());
  Click("Seting_Web_check");
  EXPECT_TRUE(settings::IsModuleSelected(settings::kWebPage, kSettings));
  EXPECT_TRUE(m_page->FindControl("Seting_Website_ver")->isEnabled());
  // An item of the settings file.
  Click("Set_Video_check2");
  EXPECT_TRUE(settings::ReadModuleItems(kSettings, settings::kVideo)[1].selected);
  EXPECT_TRUE(Box("Set_Video_check2")->isChecked());
  // A target of the task file.
  Write(kTasks, Tasks(Item(1, "甲", "a.b") + Item(2, "乙", "c.d")));
  m_page->RebuildTargets(settings::kWebPage);
  Press(m_page->Rows(2)[0]->Check(1));
  EXPECT_FALSE(settings::ReadModuleItems(kTasks, settings::kWebPage)[1].selected);
  EXPECT_TRUE(settings::ReadModuleItems(kTasks, settings::kWebPage)[0].selected);
}

TEST_F(SetingPage, AWriteThatFailsLeavesTheBoxAsStored) {
  m_page->Fill();
  // No key to set: nothing is stored, so nothing shows as done.
  Write("conf\\l_c_config_01.properties", "#user config\n#stamp\npre_date=\n");
  Click("Set_AutoLogin_check");
  EXPECT_FALSE(Box("Set_AutoLogin_check")->isChecked());
  EXPECT_EQ(conf::Read(conf::kUser, "auto"), "null");

  // Folders this user may not write, over files anyone may.
  Write("conf\\l_c_config_01.properties", "#user config\n#stamp\nauto=0\npre_date=\n");
  Write(kTasks, Tasks(Item(1, "甲", "a.b")));
  m_page->RebuildTargets(settings::kWebPage);
  const std::string conf = Read("conf/config.properties");
  const std::string user = Read("conf/l_c_config_01.properties");
  const std::string settings = Read("Config/settings1234.xml");
  const std::string tasks = Read("Config/tasks1234.xml");
  ASSERT_EQ(chmod(m_folder.c_str(), 0755), 0);
  for (const char* f : {"conf/config.properties", "conf/l_c_config_01.properties",
                        "Config/settings1234.xml", "Config/tasks1234.xml"})
    ASSERT_EQ(chmod(At(f).c_str(), 0666), 0);
  ASSERT_EQ(chmod(At("conf").c_str(), 0555), 0);
  ASSERT_EQ(chmod(At("Config").c_str(), 0555), 0);
  ASSERT_EQ(mkdir(At("xdg").c_str(), 0555), 0);
  {
    AsOrdinaryUser nobody;
    Click("Set_AutoLogin_check");
    Click("Set_AutoSpeed_check");
    Click("Set_AutoUp_check");
    Click("Set_Dlownload_check");
    Click("Set_Web_check1");
    Press(m_page->Rows(2)[0]->Check(0));
    Press(m_page->Rows(2)[0]->Delete(0));
  }
  EXPECT_FALSE(Box("Set_AutoLogin_check")->isChecked());
  EXPECT_FALSE(Box("Set_AutoSpeed_check")->isChecked());
  EXPECT_FALSE(Box("Set_AutoUp_check")->isChecked());
  EXPECT_TRUE(Box("Set_Dlownload_check")->isChecked());
  EXPECT_TRUE(m_page->FindControl("Seting_FileDown_ver")->isEnabled());
  EXPECT_TRUE(Box("Set_Web_check1")->isChecked());
  // The target whose delete could not be stored is still listed, still ticked.
  ASSERT_EQ(m_page->Rows(2).size(), 1u);
  EXPECT_TRUE(ui::GetCheck(m_page->Rows(2)[0]->Check(0)));
  EXPECT_EQ(Read("conf/config.properties"), conf);
  EXPECT_EQ(Read("conf/l_c_config_01.properties"), user);
  EXPECT_EQ(Read("Config/settings1234.xml"), settings);
  EXPECT_EQ(Read("Config/tasks1234.xml"), tasks);
  EXPECT_FALSE(Exists(At("xdg/autostart/Kestrane-c.desktop")));

  // Writable again, the same clicks are stored and shown.
  ASSERT_EQ(chmod(At("conf").c_str(), 0755), 0);
  ASSERT_EQ(chmod(At("Config").c_str(), 0755), 0);
  Click("Set_AutoLogin_check");
  EXPECT_TRUE(Box("Set_AutoLogin_check")->isChecked());
  Click("Set_Web_check1");
  EXPECT_FALSE(Box("Set_Web_check1")->isChecked());
  EXPECT_FALSE(settings::ReadModuleItems(kSettings, settings::kWebPage)[0].selected);
}

TEST_F(SetingPage, AddressesAreCheckedWhole) {
  using W = CUtilityWnd;
  int focus = -1;
  EXPECT_EQ(W::CheckEntry(2, "", "", &focus), "网站名称不能为空");
  EXPECT_EQ(focus, 0);
  EXPECT_EQ(W::CheckEntry(4, "", "a.b", &focus), "文件名不能为空");
  EXPECT_EQ(W::CheckEntry(2, "n", "", &focus), "网站地址不能为空");
  EXPECT_EQ(focus, 1);
  EXPECT_EQ(W::CheckEntry(4, "n", "", &focus), "文件地址不能为空");
  EXPECT_EQ(W::CheckEntry(2, "n", "ab", &focus), "网站地址不正确");
  EXPECT_EQ(W::CheckEntry(4, "n", "ab"), "文件地址不正确");
  EXPECT_EQ(W::CheckEntry(2, "n", "a.b", &focus), "");
  for (const char* good : {"a.b", "http://x.y/p?q=1", "https://www.example.com.cn/a/b.html",
                           "ftp://files.example.net/pub/x.iso", "x-y_z.example:8080/a~b#c",
                           "news.example.com/?a=1&amp;b=2"})
    EXPECT_TRUE(W::IsValidAddress(good)) << good;
  for (const char* bad :
       {"ab", "http://", "a.b c", "a.b/ends.", "gopher://a.b", " a.b", "http://中文.cn", "a..b"})
    EXPECT_FALSE(W::IsValidAddress(bad)) << bad;

  // Some 800 characters of "a." and a refused last one: the matcher gives up; no crash, no
  // hang, just a wrong address.
  std::string longAddress;
  while (longAddress.size() < 798) longAddress += "a.";
  longAddress += "!";
  QElapsedTimer t;
  t.start();
  EXPECT_FALSE(W::IsValidAddress(longAddress));
  EXPECT_EQ(W::CheckEntry(2, "n", longAddress), "网站地址不正确");
  EXPECT_EQ(W::CheckEntry(4, "n", longAddress), "文件地址不正确");
  RecordProperty("long_address_ms", static_cast<int>(t.elapsed()));
  EXPECT_LT(t.elapsed(), 5000);
}

TEST_F(SetingPage, AddDialogComplainsThenStores) {
  m_page->Fill();
  const int list = Height("Seting_Website_ver");
  const int section = Height("Seting_Auto_ver");
  WithAddDialog("Seting_Website_btn", [&](ui::CWindowWnd* dialog) {
    EXPECT_EQ(ui::Text(dialog->FindControl("Set_addname_Lab")), "网站名称");
    EXPECT_EQ(ui::Text(dialog->FindControl("Set_address_Lab")), "网站地址");
    // The page waits behind it: its controls and the automatic section are disabled.
    EXPECT_TRUE(m_page->ControlsDisabled());
    EXPECT_FALSE(m_page->FindControl("Set_AutoLogin_check")->isEnabled());
    EXPECT_FALSE(m_page->FindControl("Seting_Auto_ver")->isEnabled());
    Enter(dialog, "", "");
    EXPECT_EQ(Error(dialog), "网站名称不能为空");
    EXPECT_EQ(dialog->focusWidget(), dialog->FindControl("Seting_addName_edit"));
    Enter(dialog, "站", "");
    EXPECT_EQ(Error(dialog), "网站地址不能为空");
    EXPECT_EQ(dialog->focusWidget(), dialog->FindControl("Seting_Address_edit"));
    Enter(dialog, "站", "ab");
    EXPECT_EQ(Error(dialog), "网站地址不正确");
    std::string longAddress;
    while (longAddress.size() < 798) longAddress += "a.";
    Enter(dialog, "站", QString::fromStdString(longAddress + "!"));
    EXPECT_EQ(Error(dialog), "网站地址不正确");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(Exists(At(kTasks)));
    Enter(dialog, "甲 <&\"", "a.b");
    EXPECT_FALSE(dialog->isVisible()) << "stored: the dialog closes";
  });
  EXPECT_FALSE(m_page->ControlsDisabled());
  EXPECT_TRUE(m_page->FindControl("Set_AutoLogin_check")->isEnabled());
  EXPECT_TRUE(m_page->FindControl("Seting_Auto_ver")->isEnabled());
  // The task file was made with its fixed start, the item at its end.
  const std::string tasks = Read("Config/tasks1234.xml");
  EXPECT_EQ(tasks.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n", 0), 0u);
  auto web = settings::ReadModuleItems(kTasks, settings::kWebPage);
  ASSERT_EQ(web.size(), 1u);
  EXPECT_EQ(web[0].name, "甲 <&\"");
  EXPECT_EQ(web[0].address, "a.b");
  ASSERT_EQ(m_page->Rows(2).size(), 1u);
  EXPECT_EQ(ui::Text(m_page->Rows(2)[0]->Check(0)), "甲 <&\"");
  EXPECT_EQ(Height("Seting_Website_ver"), list + 24);
  EXPECT_EQ(Height("Seting_Auto_ver"), section + 24);

  // The second fills the row; the third starts another, 24 pixels more.
  WithAddDialog("Seting_Website_btn",
                [&](ui::CWindowWnd* dialog) { Enter(dialog, "乙", "http://x.y/p?q=1"); });
  ASSERT_EQ(m_page->Rows(2).size(), 1u);
  EXPECT_FALSE(m_page->Rows(2)[0]->Check(1)->isHidden());
  EXPECT_EQ(Height("Seting_Auto_ver"), section + 24);
  WithAddDialog("Seting_Website_btn", [&](ui::CWindowWnd* dialog) { Enter(dialog, "丙", "c.d"); });
  ASSERT_EQ(m_page->Rows(2).size(), 2u);
  EXPECT_EQ(m_page->TargetCount(2), 3);
  EXPECT_EQ(Height("Seting_Website_ver"), list + 48);
  EXPECT_EQ(Height("Seting_Auto_ver"), section + 48);
  EXPECT_EQ(StoredIds(kTasks, settings::kWebPage), (std::vector<int>{1, 2, 3}));

  // Cancel and the close button change nothing; files are asked for by their own labels.
  WithAddDialog("Seting_FileDown_btn", [&](ui::CWindowWnd* dialog) {
    EXPECT_EQ(ui::Text(dialog->FindControl("Set_addname_Lab")), "文件名称");
    EXPECT_EQ(ui::Text(dialog->FindControl("Set_address_Lab")), "文件地址");
    Enter(dialog, "", "");
    EXPECT_EQ(Error(dialog), "文件名不能为空");
    ui::SetText(dialog->FindControl("Seting_addName_edit"), "文件");
    ui::SetText(dialog->FindControl("Seting_Address_edit"), "f.g/x.bin");
    QTest::mouseClick(dialog->Find<QAbstractButton>("Seting_NO_btn"), Qt::LeftButton);
  });
  WithAddDialog("Seting_FileDown_btn", [&](ui::CWindowWnd* dialog) {
    ui::SetText(dialog->FindControl("Seting_addName_edit"), "文件");
    ui::SetText(dialog->FindControl("Seting_Address_edit"), "f.g/x.bin");
    QTest::mouseClick(dialog->Find<QAbstractButton>("Set_close_btn"), Qt::LeftButton);
  });
  EXPECT_TRUE(settings::ReadModuleItems(kTasks, settings::kFileDown).empty());
  EXPECT_TRUE(m_page->Rows(4).empty());
}

TEST_F(SetingPage, AFailedAddKeepsTheDialogOpen) {
  m_page->Fill();
  Write(kTasks, Tasks(Item(1, "甲", "a.b")));
  m_page->RebuildTargets(2);
  const std::string before = Read("Config/tasks1234.xml");
  ASSERT_EQ(chmod(m_folder.c_str(), 0755), 0);
  ASSERT_EQ(chmod(At("Config/tasks1234.xml").c_str(), 0666), 0);
  ASSERT_EQ(chmod(At("Config").c_str(), 0555), 0);
  WithAddDialog("Seting_Website_btn", [&](ui::CWindowWnd* dialog) {
    AsOrdinaryUser nobody;
    Enter(dialog, "乙", "c.d");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Error(dialog), "保存失败");
  });
  EXPECT_EQ(Read("Config/tasks1234.xml"), before);
  EXPECT_EQ(m_page->TargetCount(2), 1);
}

TEST_F(SetingPage, DeletingTheFirstOfThreeRepacks) {
  Write(kTasks, Tasks(Item(1, "甲", "a.b") + Item(2, "乙", "c.d") + Item(3, "丙", "e.f")));
  m_page->Fill();
  ASSERT_EQ(m_page->Rows(2).size(), 2u);
  const int list = Height("Seting_Website_ver");
  const int section = Height("Seting_Auto_ver");
  Press(m_page->Rows(2)[0]->Delete(0));
  EXPECT_EQ(StoredIds(kTasks, settings::kWebPage), (std::vector<int>{2, 3}));
  auto rows = m_page->Rows(2);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(ui::Text(rows[0]->Check(0)), "乙");
  EXPECT_EQ(ui::Text(rows[0]->Check(1)), "丙");
  EXPECT_EQ(rows[0]->Delete(1)->property("tag").toInt(), 3);
  EXPECT_EQ(m_page->TargetCount(2), 2);
  EXPECT_EQ(Height("Seting_Website_ver"), list - 24);
  EXPECT_EQ(Height("Seting_Auto_ver"), section - 24);
  // The second entry of a half row goes from sight.
  Press(rows[0]->Delete(1));
  rows = m_page->Rows(2);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_TRUE(rows[0]->Check(1)->isHidden());
  EXPECT_EQ(StoredIds(kTasks, settings::kWebPage), (std::vector<int>{2}));
  QApplication::processEvents();  // the old rows go once their clicks are over
}

TEST_F(SetingPage, NavigationScrollsToEachSection) {
  Write(kTasks, Tasks(Item(1, "甲", "a.b") + Item(2, "乙", "c.d") + Item(3, "丙", "e.f")));
  m_page->Fill();
  QApplication::processEvents();
  auto* area = m_page->Find<QScrollArea>("Seting_Navigation_ver");
  const int h = m_page->AutoSectionHeight();
  EXPECT_EQ(m_page->FindControl("Seting_Auto_ver")->height(), h);
  const std::pair<const char*, int> targets[] = {
      {"Seting_Auto_btn", 120},    {"Seting_Update_btn", h + 130}, {"Seting_UserInfo_btn", h + 190},
      {"Seting_BBS_btn", h + 250}, {"Seting_Help_btn", h + 310},   {"Seting_About_btn", h + 370},
      {"Seting_Base_btn", 0}};
  for (const auto& [button, y] : targets) {
    Click(button);
    EXPECT_EQ(area->verticalScrollBar()->value(), y) << button;
  }
  // Each section's top is where its button scrolls.
  EXPECT_EQ(m_page->FindControl("Seting_Auto_ver")->y(), 120);
  EXPECT_EQ(m_page->FindControl("Seting_UpdateSec_hor")->y(), h + 130);
  EXPECT_EQ(m_page->FindControl("Seting_AboutSec_hor")->y(), h + 370);
}

TEST_F(SetingPage, ControlsGetTheirFormerStateBack) {
  m_page->Fill();
  settings::SetSelected(kSettings, settings::kVideo, std::nullopt, false);
  m_page->Fill();
  QWidget* help = m_page->FindControl("Set_Help_Btn");
  help->setEnabled(false);  // disabled before: stays so
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  m_page->SetUpdateChecker([released] {
    released.wait();
    return CSetingForm::UpdateCheckResult{CSetingForm::UpdateCheckResult::UpToDate, ""};
  });
  Click("Set_Update_Btn");
  EXPECT_TRUE(m_page->UpdateCheckRunning());
  EXPECT_FALSE(m_page->FindControl("Set_Update_Btn")->isEnabled());
  EXPECT_FALSE(m_page->FindControl("Set_AutoUp_check")->isEnabled());
  EXPECT_FALSE(m_page->FindControl("Seting_Website_btn")->isEnabled());
  EXPECT_FALSE(m_page->FindControl("Seting_Base_btn")->isEnabled());
  // The four module boxes are left alone; containers are walked into, not disabled.
  EXPECT_TRUE(Box("Seting_Web_check")->isEnabled());
  EXPECT_TRUE(Box("Set_Video_check")->isEnabled());
  EXPECT_FALSE(m_page->FindControl("Seting_Website_ver")->testAttribute(Qt::WA_ForceDisabled));
  // The window thread stays free while the check runs.
  QElapsedTimer t;
  t.start();
  QApplication::processEvents();
  EXPECT_LT(t.elapsed(), 1000);
  release.set_value();
  ASSERT_TRUE(PumpUntil([this] { return !m_page->UpdateCheckRunning(); }));
  EXPECT_EQ(m_messages, QStringList{"提示|已经是最新版本！"});
  EXPECT_TRUE(m_page->FindControl("Set_Update_Btn")->isEnabled());
  EXPECT_TRUE(m_page->FindControl("Set_AutoUp_check")->isEnabled());
  EXPECT_FALSE(help->isEnabled());
  EXPECT_FALSE(Box("Set_Video_check1")->isEnabled()) << "its module is off";
  EXPECT_TRUE(Box("Set_Web_check1")->isEnabled());

  // Help opens the page shipped in the program folder.
  help->setEnabled(true);
  std::string opened;
  m_page->SetPageOpener([&](const std::string& page) {
    opened = page;
    return true;
  });
  Click("Set_Help_Btn");
  EXPECT_EQ(opened, m_folder + "/help/index.html");
}

// The update check against the lab's update server.
class SetingUpdate : public SetingPage {
 protected:
  void SetUp() override {
    SetingPage::SetUp();
    fs::create_directories(At("served"));
    m_lab = std::make_unique<LabProcess>(
        std::vector<std::string>{"--update", "--update-root=" + At("served")});
    ASSERT_TRUE(m_lab->Started()) << m_lab->Error();
    Configure(m_lab->Url("update", "/"));
    Write("conf/update_process.properties",
          "#user config\nupdate_process_id=0\nupdate_app_ver=1.0.0\nnew_app_ver=1.0.0\n");
    m_bounds = ManifestFetchBounds();
    testsupport::CopyFile(STAND_IN_PROGRAM, At("Update"));
    chmod(At("Update").c_str(), 0755);
    Write("Update.exit", "");  // the stand-in records its words and ends
  }
  void TearDown() override {
    SetManifestFetchBounds(m_bounds);
    SetingPage::TearDown();
  }
  void Configure(const std::string& server) {
    Write("conf/config.properties", "#user config\nmanual=0\nupdate_server_path=" + server +
                                        "\nupdate_ver_file_name=update.xml\n");
  }
  void Serve(const std::string& version, const std::string& notes) {
    Write("served/update.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><updates>" +
                                   (version.empty() ? "" : "<Version>" + version + "</Version>") +
                                   "<UpdateInfo>" + notes + "</UpdateInfo></updates>");
  }
  // Clicks the update button and waits for the check to end; `window` handles the update
  // window should it open (its notes are given).
  void Check(const std::function<void(ui::CWindowWnd*, const QString& notes)>& window = {}) {
    bool shown = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* w = qobject_cast<ui::CWindowWnd*>(OpenWindow("cUpdate"));
      if (!w || shown || !w->WindowInitDone()) return;
      shown = true;
      const QString notes = ui::Text(w->FindControl("Update_Content_RichEdit"));
      if (window) window(w, notes);
      if (w->isVisible()) w->Close(2);
    });
    poll.start();
    Click("Set_Update_Btn");
    ASSERT_TRUE(PumpUntil([this] { return !m_page->UpdateCheckRunning(); }, 60000));
    m_windowShown = shown;
  }
  std::string Started() { return Exists(At("Update.started")) ? Read("Update.started") : ""; }

  std::unique_ptr<LabProcess> m_lab;
  FetchBounds m_bounds;
  bool m_windowShown = false;
};

TEST_F(SetingUpdate, SameVersionSaysSoAndClearsTheCopy) {
  Serve("1.0.0", "<note>x</note>");
  Check();
  EXPECT_FALSE(m_windowShown);
  EXPECT_EQ(m_messages, QStringList{"提示|已经是最新版本！"});
  EXPECT_FALSE(Exists(At("tmp")));
  EXPECT_EQ(Started(), "");
  EXPECT_TRUE(m_page->FindControl("Set_Update_Btn")->isEnabled());
}

TEST_F(SetingUpdate, NewerVersionShowsTheNotesAndOkStartsTheUpdater) {
  Serve("1.0.1", "<note>第一条：更快</note><note>second &lt;b&gt;</note><note>三</note>");
  Check([](ui::CWindowWnd* w, const QString& notes) {
    EXPECT_EQ(notes, "第一条：更快\nsecond <b>\n三\n");
    QTest::mouseClick(w->Find<QAbstractButton>("Update_OK_btn"), Qt::LeftButton);
  });
  EXPECT_TRUE(m_windowShown);
  EXPECT_TRUE(m_messages.isEmpty());
  ASSERT_TRUE(WaitFor([&] { return !Started().empty(); }));
  // One start, with no word at all.
  const std::string line = Started();
  ASSERT_EQ(line.back(), '\n');
  const std::string pid = line.substr(0, line.size() - 1);
  EXPECT_EQ(pid.find(' '), std::string::npos) << line;
  // It ended and was reaped: no zombie stays behind.
  EXPECT_TRUE(WaitFor([&] { return !Exists("/proc/" + pid); })) << "pid " << pid;

  // "以后再说" starts nothing.
  fs::remove(At("Update.started"));
  Check([](ui::CWindowWnd* w, const QString&) {
    QTest::mouseClick(w->Find<QAbstractButton>("Update_NO_btn"), Qt::LeftButton);
  });
  EXPECT_TRUE(m_windowShown);
  EXPECT_EQ(Started(), "");
}

TEST_F(SetingUpdate, NoVersionOrNoServerIsAFailedCheck) {
  // A manifest without "Version".
  Serve("", "<note>x</note>");
  Check();
  EXPECT_FALSE(m_windowShown);
  EXPECT_EQ(m_messages, QStringList{"提示|无法与服务器通信,请检查网络！"});

  // A server that is not there.
  m_messages.clear();
  Configure("http://127.0.0.1:" + std::to_string(testsupport::FreePort()) + "/");
  Check();
  EXPECT_FALSE(m_windowShown);
  EXPECT_EQ(m_messages, QStringList{"提示|无法与服务器通信,请检查网络！"});
  EXPECT_EQ(Started(), "");
}

TEST_F(SetingUpdate, AStalledServerEndsWithinTheBound) {
  Serve("1.0.1", "<note>x</note>");
  ASSERT_TRUE(m_lab->SetFault("update", "/update.xml", "stallhead"));
  FetchBounds bounds;
  bounds.base = std::chrono::milliseconds(1500);
  SetManifestFetchBounds(bounds);
  QElapsedTimer t;
  t.start();
  Check();
  const qint64 took = t.elapsed();
  RecordProperty("stalled_check_ms", static_cast<int>(took));
  EXPECT_FALSE(m_windowShown);
  EXPECT_EQ(m_messages, QStringList{"提示|无法与服务器通信,请检查网络！"});
  EXPECT_GE(took, 1400);
  EXPECT_LT(took, 10000);
}

}  // namespace
