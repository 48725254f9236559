// Renders the settings page in its states to PNG files, for people to look at:
//   kestrane-screenshots-settings <Skin.zip> <output folder>
// The page stands alone in a small host window over a program folder of its own, filled from
// the shipped settings template; nothing reaches a server.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <cstdio>
#include <cstdlib>

#include "auto/settings_files.h"
#include "core/data_base.h"
#include "platform/program_folder.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/tools/shot_session.h"
#include "windows/seting_form.h"
#include "windows/update_form.h"

namespace {

using ui::tools::ShotSession;
ShotSession* g_shots = nullptr;

void Save(QWidget& w, const QString& name) {
  ShotSession::Pump(120);
  g_shots->Save(w.grab().toImage(), name);
}

// A window over the page, as the user sees the two together.
void SaveOver(QWidget& host, QWidget& window, const QString& name) {
  ShotSession::Pump(120);
  const QPoint at((host.width() - window.width()) / 2, (host.height() - window.height()) / 2);
  QImage image = host.grab().toImage();
  QPainter p(&image);
  p.fillRect(image.rect(), QColor(0, 0, 0, 70));
  p.drawImage(at, window.grab().toImage());
  p.end();
  g_shots->Save(image, name);
}

const char kHost[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>508</height></rect></property>
 <widget class="Seting_Speed" name="Seting_Speed_Form">
  <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>508</height></rect></property>
 </widget>
</widget></ui>)";

const char kTasks[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<auto><tasks>"
    "<module id=\"2\"><item id=\"1\" selected=\"true\" name=\"公司门户\">http://portal.example.cn/"
    "</item><item id=\"2\" selected=\"false\" name=\"学校主页\">http://www.school.edu.cn/</item>"
    "<item id=\"3\" selected=\"true\" name=\"常用论坛\">bbs.example.cn/index.php?m=1</item>"
    "</module><module id=\"4\"><item id=\"1\" selected=\"true\" name=\"驱动安装包\">"
    "http://dl.example.cn/driver.exe</item></module></tasks></auto>";

}  // namespace

int main(int argc, char** argv) {
  ShotSession shots(argc, argv);
  if (const int code = shots.Start()) return code;
  g_shots = &shots;
  const QString zip = shots.Skin();
  QDir().mkpath("Config");
  QDir().mkpath("conf");
  QDir().mkpath("config-home");
  // The autostart entry goes to a folder of this run, never the user's own.
  setenv("XDG_CONFIG_HOME", (shots.Folder() + "/config-home").toLocal8Bit().constData(), 1);
  const QString shipped = QFileInfo(zip).dir().filePath("Config/settings.xml");
  if (!QFile::copy(shipped, "Config/settings10001.xml")) {
    std::fprintf(stderr, "cannot read the shipped template %s\n", qPrintable(shipped));
    return 1;
  }
  ShotSession::WriteFile("Config/tasks10001.xml", kTasks);
  ShotSession::WriteFile("conf/config.properties", "#user config\n#stamp\nmanual=1\n");
  ShotSession::WriteFile("conf/l_c_config_01.properties",
                         "#user config\n#stamp\nauto=0\npre_date=\n");
  settings::SetSelected("Config\\settings10001.xml", settings::kVideo, std::nullopt, false);
  UserInfo user;
  user.userId = "10001";
  CDataBase::Instance().SetUserInfo(user);

  CSetingForm* page = nullptr;
  QWidget* host = ui::CDialogBuilder::CreateFromText(
      kHost,
      [&page](const QString& cls, QWidget* parent) -> QWidget* {
        if (cls != CSetingForm::kPageClass) return nullptr;
        page = CSetingForm::Build(parent);
        return page;
      },
      nullptr);
  if (!host || !page) {
    std::fprintf(stderr, "cannot build the settings page\n");
    return 1;
  }
  host->show();
  ShotSession::Pump(80);
  page->Fill();
  Save(*host, "settings-filled");

  const char* sections[] = {"Seting_Auto_btn", "Seting_Update_btn", "Seting_UserInfo_btn",
                            "Seting_BBS_btn",  "Seting_Help_btn",   "Seting_About_btn"};
  for (const char* button : sections) {
    page->SendNotify(ui::kClick, page->FindControl(button));
    Save(*host, QString("settings-scroll-%1").arg(QString(button).section('_', 1, 1).toLower()));
  }
  page->SendNotify(ui::kClick, page->FindControl("Seting_Base_btn"));

  // The add dialog, empty and with each of its complaints.
  struct Entry {
    int module;
    const char* name;
    const char* address;
    const char* shot;
  };
  const Entry entries[] = {
      {settings::kWebPage, "", "", "settings-add-web-empty-name"},
      {settings::kWebPage, "新闻", "", "settings-add-web-empty-address"},
      {settings::kWebPage, "新闻", "ab", "settings-add-web-bad-address"},
      {settings::kFileDown, "", "", "settings-add-file-empty-name"},
      {settings::kFileDown, "镜像", "", "settings-add-file-empty-address"},
      {settings::kFileDown, "镜像", "files/big", "settings-add-file-bad-address"},
  };
  page->DisableControls(true);
  for (int module : {settings::kWebPage, settings::kFileDown}) {
    CUtilityWnd dialog(settings::UserTasksFile(), module);
    if (!dialog.Create()) {
      std::fprintf(stderr, "cannot build the add dialog\n");
      return 1;
    }
    dialog.show();
    ShotSession::Pump(60);
    SaveOver(*host, dialog,
             module == settings::kWebPage ? "settings-add-web" : "settings-add-file");
    for (const Entry& e : entries) {
      if (e.module != module) continue;
      ui::SetText(dialog.FindControl("Seting_addName_edit"), QString::fromUtf8(e.name));
      ui::SetText(dialog.FindControl("Seting_Address_edit"), QString::fromUtf8(e.address));
      dialog.SendNotify(ui::kClick, dialog.FindControl("Seting_OK_btn"));
      SaveOver(*host, dialog, e.shot);
    }
  }
  page->RestoreControls();

  // A fourth web page: the second row fills up.
  settings::AddItem(settings::UserTasksFile(), settings::kWebPage, "视频门户",
                    "http://video.example.cn/");
  page->RebuildTargets(settings::kWebPage);
  page->SendNotify(ui::kClick, page->FindControl("Seting_Auto_btn"));
  Save(*host, "settings-targets");

  {
    CUpdateForm update(
        QString::fromUtf8("1. 新增网页测速的首屏时间统计\n2. 修正视频测速在部分网站的地址解析\n"
                          "3. 自动测速前检查网络环境更准确\n"));
    if (update.Create()) {
      update.show();
      ShotSession::Pump(60);
      page->SendNotify(ui::kClick, page->FindControl("Seting_Update_btn"));
      page->DisableControls(false);
      SaveOver(*host, update, "settings-update-window");
      page->RestoreControls();
    }
  }

  delete host;
  return shots.Finish();
}
