// Renders the web page test page to PNG files, for people to look at:
//   kestrane-screenshots-webpage <Skin.zip> <output folder>
// The page stands in a host of the main window's size; a real test runs against the lab's
// portal role (kestrane-lab beside Skin.zip), so the browser shows a real page.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <cstdio>

#include "core/data_base.h"
#include "platform/program_folder.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/tools/shot_session.h"
#include "ui/window.h"
#include "webpage/web_speed_form.h"

namespace {

using ui::tools::ShotSession;
ShotSession* g_shots = nullptr;

const char kHost[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>462</height></rect></property>
 <widget class="Web_Speed" name="Web_Speed_Form">
  <property name="geometry"><rect><x>0</x><y>0</y><width>900</width><height>462</height></rect></property>
 </widget>
</widget></ui>)";

// The host and every visible child window over it, as the user sees them.
QImage Compose(QWidget* host, const QList<QWidget*>& over) {
  QImage image = host->grab().toImage();
  QRect all(QPoint(0, 0), image.size());
  for (QWidget* w : over)
    all = all.united(
        QRect(w->mapToGlobal(QPoint(0, 0)) - host->mapToGlobal(QPoint(0, 0)), w->size()));
  QImage out(all.size(), QImage::Format_ARGB32_Premultiplied);
  out.fill(QColor(0x5a, 0x64, 0x70));
  QPainter p(&out);
  p.drawImage(-all.topLeft(), image);
  for (QWidget* w : over)
    p.drawImage(w->mapToGlobal(QPoint(0, 0)) - host->mapToGlobal(QPoint(0, 0)) - all.topLeft(),
                w->grab().toImage());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  webpage::PrepareBrowserEnvironment(true);
  ShotSession shots(argc, argv);
  if (const int code = shots.Start()) return code;
  g_shots = &shots;
  const QString zip = shots.Skin();

  // The portal sites of the lab, on a free port.
  QProcess lab;
  lab.start(QFileInfo(zip).dir().filePath("kestrane-lab"), {"--portal", "--any-port"});
  QString portal;
  ShotSession::PumpUntil(
      [&] {
        while (lab.canReadLine()) {
          const QString line = QString::fromUtf8(lab.readLine()).trimmed();
          if (line.startsWith("role portal ")) portal = line.mid(12);
        }
        return !portal.isEmpty();
      },
      10000);
  if (portal.isEmpty()) {
    std::fprintf(stderr, "the lab did not start\n");
    return 1;
  }

  QDir().mkpath("Config");
  QDir().mkpath("Data");
  QFile sites("Config/websites.xml");
  if (sites.open(QIODevice::WriteOnly))
    sites.write(QString("<websites><site no=\"2\" name=\"Sina\">%1/portal/sina/"
                        "index.html?weight=60&amp;parts=6&amp;load=700</site></websites>")
                    .arg(portal)
                    .toUtf8());
  sites.close();
  UserInfo user;
  user.userId = "10001";
  user.userType = 6;  // under audit: no record is written
  CDataBase::Instance().SetUserInfo(user);

  CWebSpeedForm* page = nullptr;
  QWidget* host = ui::CDialogBuilder::CreateFromText(
      kHost,
      [&page](const QString& cls, QWidget* parent) -> QWidget* {
        if (cls != CWebSpeedForm::kPageClass) return nullptr;
        page = CWebSpeedForm::Build(parent);
        return page;
      },
      nullptr);
  if (!host || !page) {
    std::fprintf(stderr, "cannot build the web page test page\n");
    return 1;
  }
  host->resize(900, 620);
  page->move(0, 158);
  host->show();
  page->OnMainWindowInit();
  page->HideEmbedded();
  ShotSession::PumpUntil([] { return false; }, 200);
  g_shots->Save(host->grab().toImage(), "webpage-sites");

  page->SendNotify(ui::kButtonDown, page->FindControl("WebMore_btn"), 0, ui::kEventButtonDown);
  ShotSession::PumpUntil([] { return false; }, 100);
  g_shots->Save(host->grab().toImage(), "webpage-more-sites");
  page->SendNotify(ui::kButtonDown, page->FindControl("WebMoreGoback_btn"), 0,
                   ui::kEventButtonDown);

  // A running test: the browser over the site buttons, the page coming in.
  page->SendNotify(ui::kButtonDown, page->FindControl("Web_sina_btn"), 0, ui::kEventButtonDown);
  CWebSpeed* engine = page->Engine();
  ShotSession::PumpUntil([&] { return engine->Running(); }, 10000);
  ShotSession::PumpUntil([] { return false; }, 450);
  g_shots->Save(host->grab().toImage(), "webpage-running");

  // The notice with the first-screen time.
  ShotSession::PumpUntil(
      [] {
        for (QWidget* w : QApplication::topLevelWidgets())
          if (w->objectName() == CWebSpeedForm::kNoticeName && w->isVisible()) return true;
        return false;
      },
      15000);
  ShotSession::PumpUntil([] { return false; }, 300);
  QList<QWidget*> over;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == CWebSpeedForm::kNoticeName && w->isVisible()) over << w;
  if (over.isEmpty())
    shots.Failed("the notice did not show");
  else
    shots.Save(Compose(host, over), "webpage-notice");
  delete host;
  lab.kill();
  lab.waitForFinished(2000);
  return shots.Finish();
}
