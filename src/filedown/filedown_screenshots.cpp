// Renders the file download page in its states to PNG files, for people to look at:
//   kestrane-screenshots-filedown <Skin.zip> <output folder>
// The page stands alone in a small host window, fed the events a real test sends; nothing
// reaches a server.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTimer>
#include <cstdio>

#include "core/data_base.h"
#include "filedown/file_down_ui.h"
#include "filedown/tee_chart_ui.h"
#include "platform/program_folder.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/tools/shot_session.h"
#include "ui/window.h"

namespace {

using ui::tools::ShotSession;
ShotSession* g_shots = nullptr;

const char kHost[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>420</height></rect></property>
 <widget class="FileDown_Speed" name="FileDown_Page">
  <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>420</height></rect></property>
 </widget>
</widget></ui>)";

DownloadEvent Sample(int64_t bytes, const char* loaded, const char* loadTime, const char* speed) {
  DownloadEvent e;
  e.code = 1010;
  e.total = "51200.00";
  e.connect = "0.02";
  e.loaded = loaded;
  e.lastSecondBytes = bytes;
  e.loadTime = loadTime;
  e.speed = speed;
  return e;
}

void FeedMidTest(CFileDownUI& page) {
  ui::SetEnabled(page.FindControl("FileDown_Handle_btn"), false);
  const int64_t rates[] = {180000, 420000, 900000, 1600000, 2500000, 3100000, 2900000, 3300000};
  int64_t loaded = 0;
  int second = 0;
  for (int64_t bytes : rates) {
    loaded += bytes;
    ++second;
    const QByteArray kb = QByteArray::number(loaded / 1024.0, 'f', 2);
    const QByteArray avg = QByteArray::number(loaded / 1024.0 / second, 'f', 2);
    page.NotifyEvent(Sample(bytes, kb.constData(), "--", second > 1 ? avg.constData() : "--"));
  }
}

}  // namespace

int main(int argc, char** argv) {
  ShotSession shots(argc, argv);
  if (const int code = shots.Start()) return code;
  g_shots = &shots;
  QDir().mkpath("Config");
  QFile settings("Config/settings10001.xml");
  if (settings.open(QIODevice::WriteOnly))
    settings.write(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><settings><tasks><module id=\"4\" "
        "selected=\"true\"><item id=\"1\" selected=\"true\" name=\"影音文件\">"
        "http://files.example.net/files/50MB.mp4</item><item id=\"2\" selected=\"true\" "
        "name=\"安装程序\">http://files.example.net/files/50MB.exe</item><item id=\"3\" "
        "selected=\"false\" name=\"压缩文件\">http://files.example.net/files/50MB.zip</item>"
        "</module></tasks></settings>");
  settings.close();
  UserInfo user;
  user.userId = "10001";
  CDataBase::Instance().SetUserInfo(user);

  CFileDownUI* page = nullptr;
  QWidget* host = ui::CDialogBuilder::CreateFromText(
      kHost,
      [&page](const QString& cls, QWidget* parent) -> QWidget* {
        if (cls != CFileDownUI::kPageClass) return nullptr;
        page = CFileDownUI::Build(parent);
        return page;
      },
      nullptr);
  if (!host || !page) {
    std::fprintf(stderr, "cannot build the file download page\n");
    return 1;
  }
  host->show();
  ShotSession::Pump(80);
  page->OnLogin();
  ui::SelectItem(page->FindControl("FileDown_Operators_CB"), 0);
  ShotSession::Pump(30);
  g_shots->Save(host->grab().toImage(), "filedown-idle");

  FeedMidTest(*page);
  ShotSession::Pump(150);
  g_shots->Save(host->grab().toImage(), "filedown-mid-test");

  page->SetAlternateLook(true);
  ShotSession::Pump(30);
  g_shots->Save(host->grab().toImage(), "filedown-mid-test-alternate");
  page->NotifyEvent(DownloadEvent{{}, {}, {}, 0, {}, {}, {}, 1009});
  page->Chart()->Clear();
  ShotSession::Pump(30);
  g_shots->Save(host->grab().toImage(), "filedown-idle-alternate");
  page->SetAlternateLook(false);

  // A refused file: the warning over the page, composed as the user sees it.
  ui::SetText(page->FindControl("FileDown_WWW_edit"), "http://files.example.net/files/small.txt");
  for (const char* name :
       {"FileDown_DownloadedSize_lab", "FileDown_TotalSize_lab", "FileDown_ConnectTime_lab",
        "FileDown_DownloadTime_lab", "FileDown_AverageSpeed_lab"})
    ui::SetText(page->FindControl(name), "--");
  QImage refused;
  QTimer::singleShot(200, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dlg = qobject_cast<ui::CWindowWnd*>(w);
      if (!dlg || !dlg->isVisible() || w->objectName() != CFileDownUI::kWarningWindow) continue;
      // The warning stands at its place relative to the page, which may reach past the page.
      const QPoint at = dlg->mapToGlobal(QPoint(0, 0)) - host->mapToGlobal(QPoint(0, 0));
      const QRect all = host->rect().united(QRect(at, dlg->size()));
      refused = QImage(all.size(), QImage::Format_ARGB32_Premultiplied);
      refused.fill(QColor(0x5a, 0x64, 0x70));
      QPainter p(&refused);
      p.drawImage(-all.topLeft(), host->grab().toImage());
      p.drawImage(at - all.topLeft(), dlg->grab().toImage());
      p.end();
      dlg->Close(1);
    }
  });
  page->NotifyWarning("获取文件大小失败，文件不能被下载！");
  if (refused.isNull())
    shots.Failed("the warning did not show");
  else
    shots.Save(refused, "filedown-refused");
  delete host;
  return shots.Finish();
}
